// The window's words for what the code library reports, as the installer
// reads them: the rules of a saved model, why a file or a library was
// refused, and why a row of an import preview is refused. The library's own
// tests check which codes it reports; these check what the window says.
#include "ImportPreview.h"
#include "TestDatabase.h"
#include "Utf8Path.h"
#include "Words.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

using namespace library;

namespace {

std::string Zh(const SLibraryError& error) {
    return words::LibraryErrorText(error).toStdString();
}

const std::string kNotHex =
    "请确保VIDEO/VGA/POWER ON/POWER OFF中都是16进制数，否则请点击ASCII码转16进制按钮！";

} // namespace

TEST(LibraryWords, RuleTexts) {
    const std::pair<ERuleFailure, std::string> cases[] = {
        {ERuleFailure::None, ""},
        {ERuleFailure::ModelEmpty, "投影机型号不能为空，请输入！"},
        {ERuleFailure::BaudEmpty, "波特率不能为空，请选择！"},
        {ERuleFailure::BaudUnknown, "波特率只能是2400、4800、9600、19200、38400、57600或115200！"},
        {ERuleFailure::ParityEmpty, "校验类型不能为空，请选择！"},
        {ERuleFailure::ParityUnknown, "校验类型只能是无、奇或偶！"},
        {ERuleFailure::VgaEmpty, "VGA不能为空，请输入偶数位数据！"},
        {ERuleFailure::VgaOdd, "VGA输入不正确，请检查VGA位数！"},
        {ERuleFailure::VgaTooLong, "VGA不能超过96位，请检查VGA位数！"},
        {ERuleFailure::VideoEmpty, "VIDEO不能为空，请输入偶数位数据！"},
        {ERuleFailure::VideoOdd, "VIDEO输入不正确，请检查VIDEO位数！"},
        {ERuleFailure::VideoTooLong, "VIDEO不能超过96位，请检查VIDEO位数！"},
        {ERuleFailure::PowerOnEmpty, "POWER ON不能为空，请输入偶数位数据！"},
        {ERuleFailure::PowerOnOdd, "POWER ON输入不正确，请检查POWER ON位数！"},
        {ERuleFailure::PowerOnTooLong, "POWER ON不能超过96位，请检查POWER ON位数！"},
        {ERuleFailure::PowerOffEmpty, "POWER OFF不能为空，请输入偶数位数据！"},
        {ERuleFailure::PowerOffOdd, "POWER OFF输入不正确，请检查POWER OFF位数！"},
        {ERuleFailure::PowerOffTooLong, "POWER OFF不能超过96位，请检查POWER OFF位数！"},
        {ERuleFailure::NotHex, kNotHex},
    };
    for (const auto& [eRule, strText] : cases)
        EXPECT_EQ(words::RuleText(eRule).toStdString(), strText) << static_cast<int>(eRule);
}

// Each error as a test of the library reports it, with the text the window
// shows for it: whole, or where the text depends on the system, its start or
// a part.
TEST(LibraryWords, ErrorTexts) {
    enum class EMatch { Whole, Start, Part };
    const base::SFileError other{base::EFileError::Other, "injected failure"};
    const base::SFileError notFound{base::EFileError::NotFound, "No such file or directory"};
    const std::string strOverwrites = "导出会把它覆盖。请另选一个CSV文件名。";
    struct SCase {
        SLibraryError error;
        EMatch eMatch;
        std::string strText;
    } const cases[] = {
        {{}, EMatch::Whole, ""},
        {{ELibraryError::CutInCharacter}, EMatch::Whole, "文件在一个汉字的中间结束，文件不完整。"},
        {{ELibraryError::UnknownEncoding, "", "", 3},
         EMatch::Whole,
         "文件编码无法识别（第3个字节），请另存为UTF-8或GBK编码的CSV文件。"},
        {{ELibraryError::Utf16}, EMatch::Whole, "不支持UTF-16编码的文件，请另存为UTF-8或GBK编码的CSV文件。"},
        {{ELibraryError::EmptyFile}, EMatch::Part, "文件是空的，没有可导入的数据。"},
        {{ELibraryError::MissingColumns, "", "POWER OFF"}, EMatch::Part, "文件缺少列：POWER OFF。"},
        {{ELibraryError::MissingColumns, "", "model、baud、parity、VGA、VIDEO、POWER ON、POWER OFF"},
         EMatch::Part,
         "文件缺少列：model、baud、parity、VGA、VIDEO、POWER ON、POWER OFF。"},
        {{ELibraryError::RepeatedColumn, "", "投影机型号"},
         EMatch::Part,
         "第1行的列名“投影机型号”出现了两次。"},
        {{ELibraryError::NotLibrary, "/lib/other.mdb"}, EMatch::Part, "不是Velmora的data.mdb文件"},
        {{ELibraryError::LibraryColumnsMissing, "/lib/other.mdb", "投影机型号"},
         EMatch::Part,
         "不是Velmora的data.mdb文件（DATA表缺少列：投影机型号）"},
        {{ELibraryError::LibraryColumnsMissing, "/lib/other.mdb", "波特率、校验"},
         EMatch::Part,
         "不是Velmora的data.mdb文件（DATA表缺少列：波特率、校验）"},
        {{ELibraryError::LibraryColumnsMissing, "/lib/other.mdb", "POWER ON"},
         EMatch::Part,
         "不是Velmora的data.mdb文件（DATA表缺少列：POWER ON）"},
        {{ELibraryError::LibraryColumnsMissing, "/lib/other.db",
          "投影机型号、波特率、校验、VGA、VIDEO、POWER ON、POWER OFF"},
         EMatch::Part,
         "不是Velmora的data.mdb文件"},
        {{ELibraryError::CannotOpenSource, "/lib/missing.csv", "", 0, notFound},
         EMatch::Start,
         "无法打开文件"},
        {{ELibraryError::WriteFailed, "", "", 0, other},
         EMatch::Whole,
         "写入data.mdb失败：系统错误。资料库没有改动。"},
        {{ELibraryError::LibraryReadOnly}, EMatch::Whole, "data.mdb是只读的，不能写入。资料库没有改动。"},
        {{ELibraryError::LibraryBusy},
         EMatch::Whole,
         "data.mdb正被其他程序使用，请关闭该程序后再导入。资料库没有改动。"},
        {{ELibraryError::LibraryChanged},
         EMatch::Whole,
         "预览之后data.mdb已被改动，请重新导入。资料库没有改动。"},
        {{ELibraryError::ImportCancelled}, EMatch::Whole, "导入已取消。资料库没有改动。"},
        {{ELibraryError::ExportOverLibrary, "/lib/data.mdb"},
         EMatch::Whole,
         "不能导出到/lib/data.mdb：这是正在使用的代码库，" + strOverwrites},
        {{ELibraryError::ExportOverDatabase, "/lib/copy.sqlite"},
         EMatch::Whole,
         "不能导出到/lib/copy.sqlite：这是一个数据库文件，" + strOverwrites},
        {{ELibraryError::ExportMdbName, "/lib/new.MDB"},
         EMatch::Whole,
         "不能导出到/lib/new.MDB：以.mdb结尾的文件名留给代码库。请另选一个CSV文件名。"},
        {{ELibraryError::CannotWriteCsv, "/lib/no-such-folder/out.csv", "", 0, notFound},
         EMatch::Start,
         "无法写入/lib/no-such-folder/out.csv"},
    };
    for (const SCase& c : cases) {
        const std::string strText = Zh(c.error);
        SCOPED_TRACE(strText);
        switch (c.eMatch) {
        case EMatch::Whole:
            EXPECT_EQ(strText, c.strText);
            break;
        case EMatch::Start:
            EXPECT_EQ(strText.rfind(c.strText, 0), 0u);
            break;
        case EMatch::Part:
            EXPECT_NE(strText.find(c.strText), std::string::npos);
            break;
        }
    }
}

// A preview of each file against a copy of the shipped library: why its
// last row is refused.
TEST(LibraryWords, RowReasons) {
    const std::string kHeader = "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n";
    const std::string kUtf8Header = "\xEF\xBB\xBF" + kHeader;
    const std::pair<std::string, std::string> cases[] = {
        {kHeader + ",9600,无,0A,0B,0C,0D\n", "投影机型号不能为空，请输入！"},
        {kHeader + "M,,无,0A,0B,0C,0D\n", "波特率不能为空，请选择！"},
        {kHeader + "M,300,无,0A,0B,0C,0D\n", "波特率只能是2400、4800、9600、19200、38400、57600或115200！"},
        {kHeader + "M,9600,,0A,0B,0C,0D\n", "校验类型不能为空，请选择！"},
        {kHeader + "M,9600,space,0A,0B,0C,0D\n", "校验类型只能是无、奇或偶！"},
        {kHeader + "M,9600,无,,0B,0C,0D\n", "VGA不能为空，请输入偶数位数据！"},
        {kHeader + "M,9600,无,0A0,0B,0C,0D\n", "VGA输入不正确，请检查VGA位数！"},
        {kHeader + "M,9600,无,0A,B,0C,0D\n", "VIDEO输入不正确，请检查VIDEO位数！"},
        {kHeader + "M,9600,无,0A,0B,,0D\n", "POWER ON不能为空，请输入偶数位数据！"},
        {kHeader + "M,9600,无,0A,0B,0C," + std::string(98, 'F') + "\n",
         "POWER OFF不能超过96位，请检查POWER OFF位数！"},
        {kHeader + "M,9600,无,0A,0B,0C,0Z\n", kNotHex},
        {kHeader + "M,9600,无,0A,0B\n", "字段太少：有5个，应有7个。"},
        {kHeader + "M,9600,无,0A,0B,0C,0D,0E\n", "字段太多：有8个，应有7个。"},
        {kHeader + "M,9600,无,0A,0B,0C,0D\n\"multi\nline\",9600,无,0A,0B,0C,0D\nM,4800,无,0A,0B,0C,0D\n",
         "型号与第2行重复。"},
        {kHeader + "M,9600,无,0A,0B,0C,0D\n\"Cut off,9600,无,0A", "文件在引号内结束，这一行不完整。"},
        {kHeader + "M,9600,无,0A,0B,0C,7E50460D\r\nN,9600,无,0A,0B,0C,7E5046",
         "文件在这一行中间结束（行末没有换行），这一行可能不完整。"},
        {kHeader + "M,9600,无,0A,0B,0C,7E5046", "文件在这一行中间结束（行末没有换行），这一行可能不完整。"},
        {kHeader + "\"Two\nLines\",9600,无,0A,0B,0C,7E5046",
         "文件在这一行中间结束（行末没有换行），这一行可能不完整。"},
        // 明基 MX-1 and the parity 无 in GBK after a UTF-8 mark, and a byte no UTF-8 holds.
        {kUtf8Header + "\xC3\xF7\xBB\xF9 MX-1,9600,无,0A,0B,0C,0D\r\n",
         "投影机型号不是有效的UTF-8文本，请检查文件的编码。"},
        {kUtf8Header + "Good 2,9600,\xCE\xDE,0A,0B,0C,0D\r\n", "校验不是有效的UTF-8文本，请检查文件的编码。"},
        {kUtf8Header + "Bad\xFF,9600,无,0A,0B,0C,0D\r\n",
         "投影机型号不是有效的UTF-8文本，请检查文件的编码。"},
    };
    CTestDatabase db;
    const std::string strLibrary = Utf8FromPath(db.File());
    const std::filesystem::path csv = db.Folder() / "in.csv";
    for (const auto& [strBytes, strReason] : cases) {
        SCOPED_TRACE(strReason);
        std::ofstream(csv, std::ios::binary | std::ios::trunc) << strBytes;
        CImportPreview preview;
        ASSERT_TRUE(preview.Load(Utf8FromPath(csv), strLibrary));
        ASSERT_GE(preview.RowCount(), 1u);
        EXPECT_EQ(words::RowReasonText(preview, preview.RowCount() - 1).toStdString(), strReason);
    }

    // Another data.mdb's cell without a value.
    CTestDatabase other(true, false);
    other.Exec("INSERT INTO DATA VALUES ('Broken',NULL,'无','A1','B2','C3','D4')");
    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(other.File()), strLibrary));
    ASSERT_EQ(preview.RowCount(), 1u);
    EXPECT_EQ(words::RowReasonText(preview, 0).toStdString(), "波特率没有值（NULL）。");
}
