// 图表: a picture of the summary shown (原值 by department and by year of start), a window
// of the query window's; Ctrl+C copies it as a picture, 打印… prints it on one page, and
// 图表作为PDF和打印的首页 puts it before the table in the query window's PDF and print.
#pragma once

#include <QWidget>
#include <memory>

#include "export/chart_page.h"

class QCheckBox;
class QPrinter;
class QPushButton;

namespace faq::ui {

class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);
    void setPicture(std::shared_ptr<const output::ChartPicture> picture);
    const std::shared_ptr<const output::ChartPicture>& picture() const { return mPicture; }
    // The picture at size on white, as copied.
    QImage image(QSize size) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::shared_ptr<const output::ChartPicture> mPicture;
};

class frmChart : public QWidget {
    Q_OBJECT
public:
    explicit frmChart(QWidget* owner);
    void showPicture(std::shared_ptr<const output::ChartPicture> picture);
    const std::shared_ptr<const output::ChartPicture>& picture() const { return view->picture(); }
    // Whether the query window's PDF and print begin with the picture.
    bool firstPage() const;
    void copyPicture();
    // The picture on one page of printer; false when the page could not be painted.
    bool printOn(QPrinter& printer) const;

    ChartView* view;
    QCheckBox* chkFirstPage;
    QPushButton* btnCopy;
    QPushButton* btnPrint;
    QPushButton* btnClose;

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void print();
};

}  // namespace faq::ui
