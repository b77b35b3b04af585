#include "data/recordset.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "data/db_error.h"
#include "data/program_error.h"
#include "data/utf.h"

using namespace faq::data;

namespace {

RecordsetPtr sample(size_t rows) {
    RecordsetBuilder b({{"名称", FieldType::Text}, {"值", FieldType::Double}, {"n", FieldType::Integer}});
    for (size_t r = 0; r < rows; ++r) {
        b.putText("行" + std::to_string(r));
        if (r % 7 == 0)
            b.putNull();
        else
            b.putDouble(static_cast<double>(r) + 0.5);
        b.putInt(static_cast<int64_t>(r) - 5);
    }
    return b.finish();
}

TEST(Recordset, ValuesSurviveChunkAndBlockBoundaries) {
    auto rs = sample(10000);
    ASSERT_EQ(rs->recordCount(), 10000u);
    for (size_t r : {0u, 4095u, 4096u, 8191u, 9999u}) {
        EXPECT_EQ(rs->value(r, 0).text, "行" + std::to_string(r));
        EXPECT_EQ(rs->value(r, 1).isNull(), r % 7 == 0);
        if (r % 7) {
            EXPECT_DOUBLE_EQ(rs->value(r, 1).d, static_cast<double>(r) + 0.5);
        }
        EXPECT_EQ(rs->value(r, 2).i, static_cast<int64_t>(r) - 5);
    }
    EXPECT_THROW(rs->value(10000, 0), ProgramError);
    EXPECT_THROW(rs->value(0, 3), ProgramError);
    // Blocks of rows set column by column, between rows put one by one, across chunks.
    RecordsetBuilder b({{"t", FieldType::Text}, {"n", FieldType::Integer}});
    size_t expected = 0;
    for (size_t block : {3u, 1024u, 1000u, 4096u, 2u, 5000u}) {
        b.putText("put " + std::to_string(expected));
        b.putInt(static_cast<int64_t>(expected++));
        b.beginRows(block);
        for (size_t i = 0; i < block;) {
            auto run = b.run(1, i, block - i);
            for (size_t k = 0; k < run.n; ++k) run.putInt(k, static_cast<int64_t>(expected + i + k));
            i += run.n;
        }
        for (size_t i = 0; i < block;) {
            auto run = b.run(0, i, block - i);
            for (size_t k = 0; k < run.n; ++k, ++i) {
                const std::string n = std::to_string(expected + i);
                const std::u16string wide = u"设 " + std::u16string(n.begin(), n.end());
                if (i % 3 == 0)
                    run.putNull(k);
                else if (i % 3 == 1)
                    run.putText(k, "set " + n, FieldType::Text);
                else
                    run.putUtf16(k, wide.data(), wide.size(), FieldType::Text);
            }
        }
        b.endRows();
        expected += block;
    }
    auto blocks = b.finish();
    ASSERT_EQ(blocks->recordCount(), expected);
    for (size_t r = 0; r < expected; ++r) {
        ASSERT_EQ(blocks->value(r, 1).i, static_cast<int64_t>(r)) << r;
        const Value v = blocks->value(r, 0);
        if (!v.isNull()) {
            ASSERT_EQ(v.text.substr(v.text.find(' ') + 1), std::to_string(r)) << r;
        }
    }
    // Large blocks of a freed result serve the next ones, alive beside each other.
    std::vector<RecordsetPtr> large;
    for (int round = 0; round < 3; ++round) {
        if (round == 2) large.erase(large.begin());
        large.push_back(sample(120000 + round));
        ASSERT_GT(large.back()->memoryBytes(), 2u * Recordset::kHugeBlockBytes);
        for (const auto& rs : large)
            for (size_t r = 0; r < rs->recordCount(); r += 997)
                ASSERT_EQ(rs->value(r, 0).text, "行" + std::to_string(r));
    }
    RecordsetBuilder overflow({{"v", FieldType::Double}});
    overflow.beginRows(1);
    EXPECT_THROW(overflow.run(0, 0, 1).putDouble(0, std::numeric_limits<double>::infinity()), DbError);
}

TEST(Recordset, LongTextsAndEmptyTextsKeepTheirLength) {
    RecordsetBuilder b({{"t", FieldType::Text}});
    std::string big(3u << 20, 'x');  // larger than a pool block
    b.putText("");
    b.putText(big);
    b.putText(std::string(200, 'y'));  // two-byte length prefix
    auto rs = b.finish();
    EXPECT_EQ(rs->value(0, 0).text, "");
    EXPECT_FALSE(rs->value(0, 0).isNull());
    EXPECT_EQ(rs->value(1, 0).text.size(), big.size());
    EXPECT_EQ(rs->value(2, 0).text, std::string(200, 'y'));
    // Wide texts as drivers deliver them: the length prefix grows past one byte, a NUL is
    // kept visibly, a lone surrogate is replaced.
    RecordsetBuilder w({{"t", FieldType::Text}});
    const size_t lengths[] = {0, 42, 43, 3000};
    for (size_t n : lengths) {
        const std::u16string s(n, u'长');
        w.putUtf16(s.data(), s.size(), FieldType::Text);
    }
    const std::u16string odd = {u'a', 0, 0xDE00, 0xD800};  // a NUL; a low, then a high surrogate
    w.putUtf16(odd.data(), odd.size(), FieldType::Text);
    auto ws = w.finish();
    for (size_t r = 0; r < 4; ++r) EXPECT_EQ(ws->value(r, 0).text.size(), 3 * lengths[r]);
    EXPECT_EQ(ws->value(3, 0).text.substr(0, 3), "长");
    EXPECT_EQ(ws->value(4, 0).text, "a␀\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Recordset, CurrentRecordMovesAndNotifiesListeners) {
    auto rs = sample(3);
    std::vector<long> seen;
    int id = rs->addListener([&](long pos) { seen.push_back(pos); });
    EXPECT_EQ(rs->position(), 0);
    rs->moveNext();
    rs->moveLast();
    rs->move(5);  // clamps to EOF
    EXPECT_TRUE(rs->eof());
    rs->setPosition(-9);
    EXPECT_TRUE(rs->bof());
    rs->moveLast();  // already there: no second notice
    rs->moveLast();
    rs->removeListener(id);
    rs->moveFirst();
    EXPECT_EQ(seen, (std::vector<long>{1, 2, 3, -1, 2}));
    EXPECT_EQ(rs->fieldValue("N").i, -5);
    EXPECT_THROW(rs->fieldValue("missing"), ProgramError);
}

TEST(Recordset, MemoryPerRowStaysSmallAndBounded) {
    auto rs = sample(100000);
    double perRow = static_cast<double>(rs->memoryBytes() - rs->textBytes()) / 100000.0;
    EXPECT_LT(perRow, 64.0);
    // Past the limit a result stops growing, with a message that asks for less.
    EXPECT_GE(resultMemoryLimit(), size_t{256} << 20);
    setResultMemoryLimit(rs->memoryBytes() / 2);
    try {
        sample(100000);
        ADD_FAILURE() << "grew past its limit";
    } catch (const DbError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("结果太大")) << e.what();
    }
    setResultMemoryLimit(0);
    EXPECT_EQ(sample(100000)->recordCount(), 100000u);
}

TEST(Value, TextsAndNumbers) {
    Value v;
    v.type = FieldType::Decimal;
    v.text = "-1234.50";
    EXPECT_DOUBLE_EQ(v.toDouble(), -1234.5);
    EXPECT_EQ(v.toString(), "-1234.50");
    v.type = FieldType::Double;
    v.d = 0.1;
    EXPECT_EQ(v.toString(), "0.1");
    EXPECT_EQ(Value{}.toString(), "");
}

TEST(Utf, RoundTripsAndReplacesMalformedInput) {
    std::string s = "固定资产 😀 abc";
    EXPECT_EQ(toUtf8(toUtf16(s)), s);
    EXPECT_EQ(toUtf16("😀").size(), 2u);
    EXPECT_EQ(toUtf8(toUtf16("\xff")), "\xEF\xBF\xBD");
    EXPECT_EQ(toUtf8(toUtf16("\xC0\xAF")), "\xEF\xBF\xBD\xEF\xBF\xBD");  // overlong '/'
    std::u16string lone = {0xD800, u'a'};
    EXPECT_EQ(toUtf8(lone),
              "\xEF\xBF\xBD"
              "a");

    // The fast paths (whole words of ASCII, runs of Chinese) agree with the decoder on
    // random texts of every length around their word sizes, and what a recordset stores
    // is the text, or its cleaned form, whole.
    const char* pieces[] = {"a",        "<c r=\"A1\">", "中",       "文", "\xF0\x9F\x98\x80", "\xC3\xA9", "\x80",
                            "\xE4\xB8", "\xED\xA0\x80", "\xF4\x90", " ",  "abcdefghijklmnop"};
    std::mt19937 rng(33);
    RecordsetBuilder b({{"t", FieldType::Text}, {"w", FieldType::Text}});
    std::vector<std::string> texts;
    for (int t = 0; t < 20000; ++t) {
        std::string s;
        for (int k = static_cast<int>(rng() % 24); k > 0; --k) {
            const size_t p = rng() % (std::size(pieces) + 1);
            if (p == std::size(pieces))
                s.push_back('\0');
            else
                s.append(pieces[p]);
        }
        bool clean = true;
        std::u16string wide;
        for (size_t i = 0; i < s.size();) {
            const size_t at = i;
            const char32_t c = decodeUtf8(s, i);
            clean = clean && c != 0 && !(c == 0xFFFD && i - at == 1);
        }
        ASSERT_EQ(isCleanUtf8(s), clean) << t;
        std::string copy(s.size(), '?');
        ASSERT_EQ(copyCleanUtf8(copy.data(), s) != nullptr, clean) << t;
        if (clean) {
            ASSERT_EQ(copy, s) << t;
        }
        texts.push_back(clean ? s : cleanUtf8(s));
        wide = toUtf16(texts.back());
        b.putText(s);
        b.putUtf16(wide.data(), wide.size());
    }
    auto rs = b.finish();
    for (size_t r = 0; r < texts.size(); ++r) {
        ASSERT_EQ(rs->value(r, 0).text, texts[r]) << r;
        ASSERT_EQ(rs->value(r, 1).text, texts[r]) << r;
    }
}

}  // namespace
