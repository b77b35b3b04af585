#include "printed_table.h"

#include <QIODevice>
#include <QPdfWriter>

#include "page_fonts.h"
#include "table_pages.h"

namespace faq::output {

namespace {

// A QIODevice over the atomic file's temporary file.
class FileDevice : public QIODevice {
public:
    explicit FileDevice(AtomicFile& file) : mFile(file) { open(QIODevice::WriteOnly); }
    const std::string& error() const { return mError; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        try {
            mFile.write(std::string_view(data, static_cast<size_t>(size)));
            return size;
        } catch (const OutputError& e) {
            if (mError.empty()) mError = e.what();
            return -1;
        }
    }

private:
    AtomicFile& mFile;
    std::string mError;
};

constexpr int kPdfResolution = 1200;  // QPdfWriter's own

}  // namespace

int writePdf(AtomicFile& file, const PrintedTable& t, const std::atomic<bool>* stop, WriteProgress* progress) {
    FontCheck fonts(t.font, PageUse::Pdf);
    auto cells = std::make_shared<const MeasuredTable>(t, kPdfResolution, stop, progress, &fonts);
    if (auto problem = fonts.problem()) throw OutputError(problem->toStdString());
    TablePages pages(cells, cells->preferredLayout());
    pages.layOut(stop, progress);
    return writePdf(file, pages, t.title, stop, progress);
}

int writePdf(AtomicFile& file, const TablePages& pages, const QString& title, const std::atomic<bool>* stop,
             WriteProgress* progress) {
    FileDevice out(file);
    int count = 0;
    {
        QPdfWriter pdf(&out);
        pdf.setCreator(QStringLiteral("faquery"));
        pdf.setTitle(title);
        pdf.setResolution(kPdfResolution);
        pdf.setPageLayout(pages.pageLayout());
        count = paintPages(pdf, pdf.resolution(), pages, stop, progress);
    }
    if (!out.error().empty()) throw OutputError(out.error());
    return count;
}

}  // namespace faq::output
