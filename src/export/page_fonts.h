// Whether the faces of a page's font show every character the page holds, and whether a PDF
// keeps each as the same text. Qt's PDF writer keeps, for every glyph, the lowest code point
// of the Basic Multilingual Plane the face maps to it: a face that draws 至 with the glyph
// of the Kangxi radical ⾄ (Noto CJK) makes the text read ⾄, and a character beyond that
// plane (𠮷) is drawn but not kept as text at all.
#pragma once

#include <QFont>
#include <QRawFont>
#include <QString>
#include <optional>
#include <unordered_map>
#include <vector>

namespace faq::output {

enum class PageUse { Paper, Pdf };

class FontCheck {
public:
    FontCheck(const QFont& font, PageUse use);
    // A text the page shows.
    void add(const QString& text);
    // What the user is told when a character would not be shown (or, in a PDF, kept) as
    // itself: in Chinese, with the character, where it stands and what to install.
    std::optional<QString> problem() const;

private:
    struct Face {
        QRawFont raw;
        mutable std::unordered_map<quint32, char32_t> lowest;  // glyph → its lowest BMP code point
        mutable bool mapped = false;
    };
    bool keptAsText(const Face& face, char32_t c) const;

    PageUse mUse;
    std::vector<Face> mFaces;  // the font's families that this computer has, in order
    static constexpr char32_t kBmp = 0x10000;
    std::vector<bool> mSeenBmp = std::vector<bool>(kBmp);  // the characters of the BMP added
    std::vector<char32_t> mOrder;                          // every character added, first seen first
    std::unordered_map<char32_t, QString> mExample;        // a text each character stands in
};

}  // namespace faq::output
