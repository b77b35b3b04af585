#include "page_fonts.h"

#include <QChar>
#include <QFontDatabase>
#include <QStringList>

namespace faq::output {

namespace {

// What to install for a face that covers Chinese and keeps its text.
QString installHint() {
#ifdef _WIN32
    return QStringLiteral(
        "请在 Windows 的“设置 → 应用 → 可选功能”中添加“中文(简体)补充字体”，使“宋体”（SimSun）可用后再试");
#else
    return QStringLiteral(
        "请安装软件包 fonts-arphic-uming（在终端中执行 sudo apt-get install fonts-arphic-uming）后再试");
#endif
}

QString codePoint(char32_t c) {
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

QString shown(char32_t c) {
    return QString::fromUcs4(&c, 1);
}

}  // namespace

FontCheck::FontCheck(const QFont& font, PageUse use) : mUse(use) {
    for (const QString& family : font.families()) {
        if (!QFontDatabase::hasFamily(family)) continue;
        QFont f(family);
        f.setPointSizeF(font.pointSizeF());
        QRawFont raw = QRawFont::fromFont(f);
        if (raw.isValid()) mFaces.push_back({raw, {}, false});
    }
}

void FontCheck::add(const QString& text) {
    const qsizetype n = text.size();
    const QChar* p = text.constData();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = p[i].unicode();
        // Seen before (nearly every character of a large result): one bit tells.
        if (c < kBmp && !QChar::isSurrogate(c) && mSeenBmp[c]) continue;
        if (QChar::isHighSurrogate(c) && i + 1 < n && p[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(p[i].unicode(), p[i + 1].unicode());
            ++i;
        }
        if (c < kBmp) mSeenBmp[c] = true;
        // Controls are not drawn; the text shown for them (␀, U+FFFD) is what is checked.
        if (QChar::category(c) == QChar::Other_Control || QChar::category(c) == QChar::Other_Format) continue;
        if (mExample.emplace(c, QString()).second) {
            mExample[c] = text.left(40);
            mOrder.push_back(c);
        }
    }
}

bool FontCheck::keptAsText(const Face& face, char32_t c) const {
    if (c > 0xFFFF) return false;
    if (!face.mapped) {
        QString all;
        all.reserve(0x10000);
        for (char32_t u = 1; u < 0x10000; ++u)
            all.append(u >= 0xD800 && u < 0xE000 ? QChar(0xFFFF) : QChar(static_cast<char16_t>(u)));
        const QList<quint32> glyphs = face.raw.glyphIndexesForString(all);
        for (qsizetype i = 0; i < glyphs.size() && i < all.size(); ++i) {
            const char32_t u = all[i].unicode();
            if (glyphs[i] != 0 && u != 0xFFFF) face.lowest.emplace(glyphs[i], u);  // the first, lowest, stays
        }
        face.mapped = true;
    }
    const QList<quint32> g = face.raw.glyphIndexesForString(shown(c));
    const auto found = g.isEmpty() ? face.lowest.end() : face.lowest.find(g.front());
    // A blank kept as another blank (U+0009 for U+0020) reads the same.
    return found != face.lowest.end() && (found->second == c || (QChar::isSpace(c) && QChar::isSpace(found->second)));
}

std::optional<QString> FontCheck::problem() const {
    for (char32_t c : mOrder) {
        const Face* face = nullptr;
        for (const Face& f : mFaces)
            if (f.raw.supportsCharacter(static_cast<uint>(c))) {
                face = &f;
                break;
            }
        const QString where = QStringLiteral("“%1”（%2，见于“%3”）").arg(shown(c), codePoint(c), mExample.at(c));
        if (!face)
            return QStringLiteral("这台电脑上没有能显示%1的字体，页面上它会印成方框，所以没有输出。").arg(where) +
                   installHint();
        if (mUse == PageUse::Pdf && !keptAsText(*face, c)) {
            if (c > 0xFFFF)
                return QStringLiteral(
                           "%1超出了 PDF 能保存为文字的范围：页面上看得见，但 PDF 里复制、搜索不到它，"
                           "所以没有输出 PDF。可以改为打印，或输出 Excel 工作簿")
                    .arg(where);
            return QStringLiteral(
                       "%1在 PDF 里会被记成另一个字（这台电脑能显示它的字体把它和别的字符画成同一个字形），"
                       "复制、搜索到的文字会与页面不同，所以没有输出 PDF。")
                       .arg(where) +
                   installHint();
        }
    }
    return std::nullopt;
}

}  // namespace faq::output
