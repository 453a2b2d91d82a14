// The CSV reader and writer, the encoding of a file, and the rules a model
// must meet. Expected records and bytes are written out from the CSV layout
// (RFC 4180) and from the GBK code table, never produced by the code here.
#include "CsvReader.h"
#include "CsvWriter.h"
#include "ErrorDescription.h"
#include "LibraryFiles.h"
#include "ModelRules.h"
#include "TempFolder.h"
#include "TextFile.h"
#include "Utf8Check.h"
#include "Utf8Path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace library;

namespace {

struct SExpected {
    std::vector<std::string> fields;
    std::uint64_t nLine;
    bool bUnterminated = false;
};

struct SCsvCase {
    const char* pszName;
    std::string strBytes;
    std::vector<SExpected> records;
};
void PrintTo(const SCsvCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override { m_folder = MakeTempFolder("velmora-csv"); }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(m_folder, error);
    }
    fs::path m_folder;
};

std::vector<SCsvRecord> ReadAll(const fs::path& path, SLibraryError* pError = nullptr,
                                EEncoding* pEncoding = nullptr) {
    CTextFile file;
    std::vector<SCsvRecord> records;
    if (!file.Open(Utf8FromPath(path))) {
        if (pError)
            *pError = file.Error();
        return records;
    }
    if (pEncoding)
        *pEncoding = file.Encoding();
    CCsvReader reader(file);
    SCsvRecord record;
    while (reader.Next(record))
        records.push_back(record);
    if (pError)
        *pError = file.Error();
    return records;
}

class CsvRecords : public TempFolder, public ::testing::WithParamInterface<SCsvCase> {};

TEST_P(CsvRecords, ReadAsWritten) {
    const SCsvCase& c = GetParam();
    testfiles::Write(m_folder / "in.csv", c.strBytes);
    SLibraryError error;
    const std::vector<SCsvRecord> records = ReadAll(m_folder / "in.csv", &error);
    EXPECT_FALSE(error.Failed()) << Describe(error);
    ASSERT_EQ(records.size(), c.records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].fields, c.records[i].fields) << "record " << i;
        EXPECT_EQ(records[i].nLine, c.records[i].nLine) << "record " << i;
        EXPECT_EQ(records[i].bUnterminated, c.records[i].bUnterminated) << "record " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CsvRecords,
    ::testing::Values(SCsvCase{"Lf", "a,b\nc,d\n", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
                      SCsvCase{"CrLf", "a,b\r\nc,d\r\n", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
                      SCsvCase{"LoneCr", "a,b\rc,d\r", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
                      SCsvCase{"NoFinalLineEnd", "a,b\nc,d", {{{"a", "b"}, 1}, {{"c", "d"}, 2}}},
                      SCsvCase{"ByteOrderMark",
                               "\xEF\xBB\xBF"
                               "model,baud\r\n",
                               {{{"model", "baud"}, 1}}},
                      SCsvCase{"EmptyFields", ",,\n\"\",x,\n", {{{"", "", ""}, 1}, {{"", "x", ""}, 2}}},
                      SCsvCase{"QuotedCommaQuoteAndBreaks",
                               "\"x,y\",\"say \"\"hi\"\"\",\"l1\r\nl2\nl3\"\nnext,z\n",
                               {{{"x,y", "say \"hi\"", "l1\r\nl2\nl3"}, 1}, {{"next", "z"}, 4}}},
                      SCsvCase{"ApostropheIsPlain", "it's,ok\n", {{{"it's", "ok"}, 1}}},
                      SCsvCase{"QuoteInsideUnquotedField", "5\"x,b\n", {{{"5\"x", "b"}, 1}}},
                      SCsvCase{"TextAfterClosingQuote", "\"ab\"c,d\n", {{{"abc", "d"}, 1}}},
                      SCsvCase{"BlankLineIsOneEmptyField", "a\n\nb\n", {{{"a"}, 1}, {{""}, 2}, {{"b"}, 3}}},
                      SCsvCase{"FileEndsInsideQuotes",
                               "a,b\nc,\"open\nrest",
                               {{{"a", "b"}, 1}, {{"c", "open\nrest"}, 2, true}}}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(TempFolder, GbkFileIsReadAsUtf8) {
    // 投影机型号,波特率,校验 / 爱普生,9600,无 in GBK.
    const std::string strGbk =
        "\xCD\xB6\xD3\xB0\xBB\xFA\xD0\xCD\xBA\xC5,\xB2\xA8\xCC\xD8\xC2\xCA,\xD0\xA3\xD1\xE9\r\n"
        "\xB0\xAE\xC6\xD5\xC9\xFA,9600,\xCE\xDE\r\n";
    testfiles::Write(m_folder / "gbk.csv", strGbk);
    EEncoding eEncoding = EEncoding::Utf8;
    SLibraryError error;
    const auto records = ReadAll(m_folder / "gbk.csv", &error, &eEncoding);
    EXPECT_FALSE(error.Failed()) << Describe(error);
    EXPECT_EQ(eEncoding, EEncoding::Gb18030);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"投影机型号", "波特率", "校验"}));
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"爱普生", "9600", "无"}));
}

// The reader takes the file in pieces of 64 KiB; a character, a CRLF or a
// quoted field cut by a piece's end must come out whole.
struct SBoundaryCase {
    const char* pszName;
    std::string strAtCut; // placed so that its second byte is the first of a new piece
    std::string strExpected;
    std::uint64_t nLinesInside; // line breaks within strAtCut
};
void PrintTo(const SBoundaryCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class ChunkBoundary : public TempFolder, public ::testing::WithParamInterface<SBoundaryCase> {};

TEST_P(ChunkBoundary, PiecesJoinUp) {
    const SBoundaryCase& c = GetParam();
    const std::size_t nCut = 1 << 16;
    std::string strBytes = "x," + std::string(nCut - 3 - 1, 'p') + ",";
    ASSERT_EQ(strBytes.size(), nCut - 1);
    strBytes += c.strAtCut + "\nlast,row\n";
    testfiles::Write(m_folder / "cut.csv", strBytes);
    SLibraryError error;
    const auto records = ReadAll(m_folder / "cut.csv", &error);
    EXPECT_FALSE(error.Failed()) << Describe(error);
    ASSERT_EQ(records.size(), 2u);
    ASSERT_EQ(records[0].fields.size(), 3u);
    EXPECT_EQ(records[0].fields[2], c.strExpected);
    EXPECT_EQ(records[1].nLine, 2 + c.nLinesInside);
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"last", "row"}));
}

INSTANTIATE_TEST_SUITE_P(Cuts, ChunkBoundary,
                         ::testing::Values(SBoundaryCase{"Utf8Character", "\xE6\x97\xA0", "无", 0}, // 无
                                           SBoundaryCase{"CrLfInsideQuotes", "\"\r\n\"", "\r\n", 1},
                                           SBoundaryCase{"DoubledQuote", "\"\"\"\"", "\"", 0}),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(TempFolder, GbkCharacterCutByAPieceEnd) {
    // Invalid UTF-8 early makes the file GBK; 无 (CE DE) straddles the cut.
    const std::size_t nCut = 1 << 16;
    std::string strBytes = "\xCE\xDE,";
    strBytes += std::string(nCut - 1 - strBytes.size() - 1, 'p') + ",";
    strBytes += "\xCE\xDE\r\n";
    testfiles::Write(m_folder / "cut.csv", strBytes);
    EEncoding eEncoding = EEncoding::Utf8;
    SLibraryError error;
    const auto records = ReadAll(m_folder / "cut.csv", &error, &eEncoding);
    EXPECT_FALSE(error.Failed()) << Describe(error);
    EXPECT_EQ(eEncoding, EEncoding::Gb18030);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fields.front(), "无");
    EXPECT_EQ(records[0].fields.back(), "无");
}

TEST_F(TempFolder, TruncatedOrForeignTextIsRefused) {
    testfiles::Write(m_folder / "cut.csv", "a,\xCE\xDE\nb,\xCE");
    SLibraryError error;
    ReadAll(m_folder / "cut.csv", &error);
    EXPECT_EQ(error.eCode, ELibraryError::CutInCharacter);

    testfiles::Write(m_folder / "bad.csv", "a,\xFF\n");
    ReadAll(m_folder / "bad.csv", &error);
    EXPECT_EQ(error.eCode, ELibraryError::UnknownEncoding);
    EXPECT_EQ(error.nNumber, 3u);

    testfiles::Write(m_folder / "u16.csv", std::string("\xFF\xFE"
                                                       "a\0,\0",
                                                       6));
    ReadAll(m_folder / "u16.csv", &error);
    EXPECT_EQ(error.eCode, ELibraryError::Utf16);
}

TEST_F(TempFolder, ProgressCoversBothPassesAndCanStop) {
    std::string strBytes;
    for (int i = 0; i < 20000; ++i)
        strBytes += "model" + std::to_string(i) + ",9600\n";
    testfiles::Write(m_folder / "big.csv", strBytes);
    std::uint64_t nLastDone = 0, nLastTotal = 0;
    {
        CTextFile file;
        ASSERT_TRUE(
            file.Open(Utf8FromPath((m_folder / "big.csv")), [&](std::uint64_t nDone, std::uint64_t nTotal) {
                EXPECT_GE(nDone, nLastDone);
                nLastDone = nDone;
                nLastTotal = nTotal;
                return true;
            }));
        std::string strChunk;
        while (file.Read(strChunk)) {
        }
        EXPECT_FALSE(file.Error().Failed());
    }
    EXPECT_EQ(nLastTotal, 2 * strBytes.size());
    EXPECT_EQ(nLastDone, nLastTotal);

    CTextFile file;
    int nCalls = 0;
    EXPECT_FALSE(file.Open(Utf8FromPath((m_folder / "big.csv")),
                           [&](std::uint64_t, std::uint64_t) { return ++nCalls < 2; }));
    EXPECT_TRUE(file.Cancelled());
}

struct SFieldCase {
    const char* pszName;
    std::string strField;
    std::string strWritten;
};
void PrintTo(const SFieldCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class CsvField : public ::testing::TestWithParam<SFieldCase> {};

TEST_P(CsvField, QuotedOnlyWhereNeeded) {
    std::string strOut = "<";
    AppendCsvField(strOut, GetParam().strField);
    EXPECT_EQ(strOut, "<" + GetParam().strWritten);
}

INSTANTIATE_TEST_SUITE_P(Fields, CsvField,
                         ::testing::Values(SFieldCase{"Plain", "Epson EB-X05", "Epson EB-X05"},
                                           SFieldCase{"Empty", "", ""},
                                           SFieldCase{"Apostrophe", "it's", "it's"},
                                           SFieldCase{"Chinese", "明基", "明基"},
                                           SFieldCase{"Comma", "a,b", "\"a,b\""},
                                           SFieldCase{"Quote", "say \"hi\"", "\"say \"\"hi\"\"\""},
                                           SFieldCase{"LineFeed", "l1\nl2", "\"l1\nl2\""},
                                           SFieldCase{"CarriageReturn", "l1\rl2", "\"l1\rl2\""}),
                         [](const auto& info) { return std::string(info.param.pszName); });

// The rules of a saved model: the first check that fails.
struct SRuleCase {
    const char* pszName;
    SModelRecord record;
    ERuleFailure eFailure;
};
void PrintTo(const SRuleCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class Rules : public ::testing::TestWithParam<SRuleCase> {};

TEST_P(Rules, FirstFailingCheckWins) {
    EXPECT_EQ(CheckRecord(GetParam().record), GetParam().eFailure);
}

const std::string k96(96, 'A');

INSTANTIATE_TEST_SUITE_P(
    Records, Rules,
    ::testing::Values(
        SRuleCase{"Valid", {"M", "9600", "无", "0A0B", "0a", "01", "02"}, ERuleFailure::None},
        SRuleCase{"LongestCode", {"M", "115200", "偶", k96, "0a", "01", "02"}, ERuleFailure::None},
        SRuleCase{"ModelEmpty", {"", "9600", "无", "0A", "0B", "0C", "0D"}, ERuleFailure::ModelEmpty},
        SRuleCase{"BaudEmpty", {"M", "", "无", "0A", "0B", "0C", "0D"}, ERuleFailure::BaudEmpty},
        SRuleCase{"BaudNotInList", {"M", "1200", "无", "0A", "0B", "0C", "0D"}, ERuleFailure::BaudUnknown},
        SRuleCase{"BaudWithBlank", {"M", "9600 ", "无", "0A", "0B", "0C", "0D"}, ERuleFailure::BaudUnknown},
        SRuleCase{"ParityEmpty", {"M", "9600", "", "0A", "0B", "0C", "0D"}, ERuleFailure::ParityEmpty},
        SRuleCase{
            "ParityNotInList", {"M", "9600", "mark", "0A", "0B", "0C", "0D"}, ERuleFailure::ParityUnknown},
        SRuleCase{
            "VgaEmptyBeforeVideoOdd", {"M", "9600", "无", "", "0B0", "0C", "0D"}, ERuleFailure::VgaEmpty},
        SRuleCase{"VgaOdd", {"M", "9600", "无", "0A0", "0B", "0C", "0D"}, ERuleFailure::VgaOdd},
        SRuleCase{"VgaTooLong", {"M", "9600", "无", k96 + "00", "0B", "0C", "0D"}, ERuleFailure::VgaTooLong},
        SRuleCase{"VideoEmpty", {"M", "9600", "无", "0A", "", "0C", "0D"}, ERuleFailure::VideoEmpty},
        SRuleCase{"VideoOdd", {"M", "9600", "无", "0A", "0B0", "0C", "0D"}, ERuleFailure::VideoOdd},
        SRuleCase{
            "VideoTooLong", {"M", "9600", "无", "0A", k96 + "00", "0C", "0D"}, ERuleFailure::VideoTooLong},
        SRuleCase{"PowerOnEmpty", {"M", "9600", "无", "0A", "0B", "", "0D"}, ERuleFailure::PowerOnEmpty},
        SRuleCase{"PowerOnOdd", {"M", "9600", "无", "0A", "0B", "0", "0D"}, ERuleFailure::PowerOnOdd},
        SRuleCase{"PowerOnTooLong",
                  {"M", "9600", "无", "0A", "0B", k96 + "00", "0D"},
                  ERuleFailure::PowerOnTooLong},
        SRuleCase{"PowerOffEmpty", {"M", "9600", "无", "0A", "0B", "0C", ""}, ERuleFailure::PowerOffEmpty},
        SRuleCase{"PowerOffOdd", {"M", "9600", "无", "0A", "0B", "0C", "0D0"}, ERuleFailure::PowerOffOdd},
        SRuleCase{"PowerOffTooLong",
                  {"M", "9600", "无", "0A", "0B", "0C", k96 + "00"},
                  ERuleFailure::PowerOffTooLong},
        SRuleCase{"NotHex", {"M", "9600", "无", "0A", "0G", "0C", "0D"}, ERuleFailure::NotHex},
        SRuleCase{"BlankInsideCode", {"M", "9600", "无", "0A", "0B", "0 0C", "0D"}, ERuleFailure::NotHex},
        // A full-width character counts two bytes, as the installer's code page stores it.
        SRuleCase{
            "WideCharacterCountsTwo", {"M", "9600", "无", "0Ａ", "0B", "0C", "0D"}, ERuleFailure::VgaOdd},
        SRuleCase{
            "WideCharacterIsNotHex", {"M", "9600", "无", "Ａ", "0B", "0C", "0D"}, ERuleFailure::NotHex}),
    [](const auto& info) { return std::string(info.param.pszName); });

} // namespace

// A file without a mark that decodes both as UTF-8 and as GBK is read the
// way a Chinese spreadsheet user wrote it; a forced encoding wins over the
// guess and over the mark.
struct SEncodingCase {
    const char* pszName;
    std::string strBytes;
    std::optional<EEncoding> forced;
    EEncoding eExpected;
    std::string strText; // the file's text in UTF-8
};
void PrintTo(const SEncodingCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class EncodingGuess : public TempFolder, public ::testing::WithParamInterface<SEncodingCase> {};

TEST_P(EncodingGuess, ReadsWhatTheWriterMeant) {
    const SEncodingCase& c = GetParam();
    testfiles::Write(m_folder / "in.csv", c.strBytes);
    CTextFile file;
    ASSERT_TRUE(file.Open(Utf8FromPath((m_folder / "in.csv")), {}, c.forced)) << Describe(file.Error());
    EXPECT_EQ(file.Encoding(), c.eExpected);
    std::string strText, strChunk;
    while (file.Read(strChunk))
        strText += strChunk;
    EXPECT_FALSE(file.Error().Failed());
    EXPECT_EQ(strText, c.strText);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EncodingGuess,
    ::testing::Values(
        // 校园投影 in GBK is D0 A3 D4 B0 CD B6 D3 B0: in UTF-8 that is У԰ͶӰ.
        SEncodingCase{"GbkModelThatIsAlsoUtf8", "\xD0\xA3\xD4\xB0\xCD\xB6\xD3\xB0 A,9600\r\n", std::nullopt,
                      EEncoding::Gb18030, "校园投影 A,9600\r\n"},
        // 偶 in GBK is C5 BC, the Latin ż in UTF-8.
        SEncodingCase{"GbkParityOnly", "M,9600,\xC5\xBC\r\n", std::nullopt, EEncoding::Gb18030,
                      "M,9600,偶\r\n"},
        SEncodingCase{"Utf8Chinese", "投影机型号,校园投影 A,偶，（全角）\r\n", std::nullopt, EEncoding::Utf8,
                      "投影机型号,校园投影 A,偶，（全角）\r\n"},
        // The accent alone would read as GBK (C3 A9 is 茅); beside Chinese
        // text that is no GBK, the file is UTF-8.
        SEncodingCase{"Utf8AccentBesideChinese", "Café,投影机\r\n", std::nullopt, EEncoding::Utf8,
                      "Café,投影机\r\n"},
        SEncodingCase{"Ascii", "M,9600\r\n", std::nullopt, EEncoding::Utf8, "M,9600\r\n"},
        SEncodingCase{"ForcedUtf8", "M,9600,\xC5\xBC\r\n", EEncoding::Utf8, EEncoding::Utf8, "M,9600,ż\r\n"},
        SEncodingCase{"ForcedGb18030", "\xD0\xA3,\xC5\xBC\r\n", EEncoding::Gb18030, EEncoding::Gb18030,
                      "校,偶\r\n"},
        SEncodingCase{"ForcedOverTheMark", "\xEF\xBB\xBF\xC5\xBC\r\n", EEncoding::Gb18030, EEncoding::Gb18030,
                      "偶\r\n"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// The guess measured on real text: every Chinese text of the program, line
// by line and character by character, in UTF-8 and in GBK. No UTF-8 text may
// be taken for GBK; of the GBK texts that also form UTF-8, all lines and all
// characters but 路 (C2 B7, the UTF-8 middle dot, which GBK holds too) must be
// read as GBK.
TEST_F(TempFolder, GuessOnTheProgramsOwnTexts) {
    const std::string strUtf8 = testfiles::Read(fs::path(VELMORA_LIBRARY_TEXTS) / "program-texts.utf8.txt");
    const std::string strGbk = testfiles::Read(fs::path(VELMORA_LIBRARY_TEXTS) / "program-texts.gbk.txt");
    ASSERT_FALSE(strUtf8.empty());
    auto Split = [](const std::string& strText) {
        std::vector<std::string> lines;
        std::size_t nStart = 0;
        for (std::size_t nEnd; (nEnd = strText.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
            lines.push_back(strText.substr(nStart, nEnd - nStart));
        return lines;
    };
    const auto utf8Lines = Split(strUtf8);
    const auto gbkLines = Split(strGbk);
    ASSERT_EQ(utf8Lines.size(), gbkLines.size());

    auto Guess = [this](const std::string& strBytes) {
        testfiles::Write(m_folder / "t.csv", strBytes + "\n");
        CTextFile file;
        EXPECT_TRUE(file.Open(Utf8FromPath((m_folder / "t.csv")))) << Describe(file.Error());
        return file.Encoding();
    };
    std::size_t nAmbiguous = 0, nReadAsGbk = 0, nUtf8Misread = 0;
    std::vector<std::string> wrong;
    auto Measure = [&](const std::string& strUtf8Text, const std::string& strGbkText) {
        if (Guess(strUtf8Text) != EEncoding::Utf8)
            ++nUtf8Misread;
        if (!IsValidUtf8(strGbkText))
            return;
        ++nAmbiguous;
        if (Guess(strGbkText) == EEncoding::Gb18030)
            ++nReadAsGbk;
        else
            wrong.push_back(strUtf8Text);
    };
    std::set<std::pair<std::string, std::string>> characters;
    for (std::size_t i = 0; i < utf8Lines.size(); ++i) {
        Measure(utf8Lines[i], gbkLines[i]);
        // GBK characters are one byte (ASCII) or two; UTF-8 ones up to four.
        std::size_t nU = 0, nG = 0;
        const std::string& u = utf8Lines[i];
        const std::string& g = gbkLines[i];
        while (nU < u.size() && nG < g.size()) {
            const auto cU = static_cast<unsigned char>(u[nU]);
            const std::size_t nULength = cU < 0x80 ? 1 : cU < 0xE0 ? 2 : cU < 0xF0 ? 3 : 4;
            const std::size_t nGLength = static_cast<unsigned char>(g[nG]) < 0x80 ? 1 : 2;
            if (nGLength == 2)
                characters.emplace(u.substr(nU, nULength), g.substr(nG, nGLength));
            nU += nULength;
            nG += nGLength;
        }
    }
    for (const auto& [strU, strG] : characters)
        Measure(strU, strG);
    std::cout << "texts: " << utf8Lines.size() << " lines, " << characters.size()
              << " characters; GBK also valid UTF-8: " << nAmbiguous << ", read as GBK: " << nReadAsGbk
              << "; UTF-8 taken for GBK: " << nUtf8Misread << '\n';
    EXPECT_EQ(nUtf8Misread, 0u);
    EXPECT_EQ(wrong, std::vector<std::string>{"路"});
    EXPECT_GE(nAmbiguous, 50u);
}
