// Opening the projector code library and searching it, on a library of
// 100,000 models, against stepping the same statements through the sqlite3 C
// API and copying every cell into a string; and the memory the open dialog
// holds against the text size of the table. Prints the figures and ratios.
#include "Database.h"
#include "AsciiText.h"
#include "MessageBox.h"
#include "ProgramValues.h"
#include "ProjectorCodeDlg.h"
#include "ProjectorTableModel.h"
#include "Statements.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QComboBox>
#include <QTableView>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kModels = 100000;
constexpr int kRuns = 5;

double Milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A library of realistic names and codes: makers, series and numbers, codes
// of 4 to 20 bytes.
void FillLibrary(const CTestDatabase& db) {
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(db.File().c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(pDb, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* pInsert = nullptr;
    sqlite3_prepare_v2(pDb, "INSERT INTO DATA VALUES (?,?,?,?,?,?,?)", -1, &pInsert, nullptr);
    const char* makers[] = {"Epson EB-", "NEC NP-",   "Panasonic PT-", "Hitachi CP-",
                            "BenQ MX",   "Optoma EH", "Sony VPL-",     "ViewSonic PJD",
                            "Sharp XG-", "Canon LV-", "明基MX",        "爱普生CB-"};
    const char* bauds[] = {"9600", "19200", "38400", "115200"};
    const char* parities[] = {"无", "奇", "偶"};
    const std::string codes[] = {
        "534F555243452031310D",       "0203000002010109",        "02504F4E03", "7E53520D",
        "BEEF030600FED2010000200000", "0D2A736F75723D524742230D"};
    std::mt19937 random(12345);
    auto next = [&random] { return static_cast<unsigned>(random()); };
    for (int i = 0; i < kModels; ++i) {
        const std::string strModel = std::string(makers[next() % 12]) +
                                     std::to_string(next() % 90000 + 1000) + (i % 3 == 0 ? "W" : "") + "/" +
                                     std::to_string(i);
        const std::string cells[] = {strModel,          bauds[next() % 4], parities[next() % 3],
                                     codes[next() % 6], codes[next() % 6], codes[next() % 6],
                                     codes[next() % 6]};
        for (int c = 0; c < 7; ++c)
            sqlite3_bind_text(pInsert, c + 1, cells[c].c_str(), static_cast<int>(cells[c].size()),
                              SQLITE_TRANSIENT);
        sqlite3_step(pInsert);
        sqlite3_reset(pInsert);
    }
    sqlite3_finalize(pInsert);
    sqlite3_exec(pDb, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(pDb);
}

// The baseline: the statement stepped on a connection of its own, every cell
// copied into a string. Returns the bytes of text seen.
std::size_t StepAndCopy(const std::string& strFile, const std::string& strStatement) {
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(strFile.c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* pStatement = nullptr;
    sqlite3_prepare_v2(pDb, strStatement.c_str(), -1, &pStatement, nullptr);
    std::size_t nBytes = 0;
    const int nColumns = sqlite3_column_count(pStatement);
    while (sqlite3_step(pStatement) == SQLITE_ROW) {
        for (int c = 0; c < nColumns; ++c) {
            const auto* pText = reinterpret_cast<const char*>(sqlite3_column_text(pStatement, c));
            std::string strCell(pText ? pText : "",
                                static_cast<std::size_t>(sqlite3_column_bytes(pStatement, c)));
            nBytes += strCell.size();
        }
    }
    sqlite3_finalize(pStatement);
    sqlite3_close(pDb);
    return nBytes;
}

class CBenchDlg : public CProjectorCodeDlg {
public:
    std::string strKeyword;

protected:
    int RunSearchDialog() override {
        g_strSearchKeyword = strKeyword;
        return QDialog::Accepted;
    }
};

double OpenDialogOnce() {
    const auto start = Clock::now();
    CBenchDlg dlg;
    dlg.show();
    if (!QTest::qWaitForWindowExposed(&dlg))
        std::fprintf(stderr, "the dialog was never shown\n");
    QCoreApplication::processEvents();
    const double ms = Milliseconds(start);
    if (dlg.TableModel()->rowCount() != kModels)
        std::fprintf(stderr, "the list holds %d rows\n", dlg.TableModel()->rowCount());
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutes();
    InstallMessageSink();
    QStringList messages;
    SetMessageRecorder([&](const QString& s) { messages << s; });

    CTestDatabase db(true);
    FillLibrary(db);
    const std::string strFile = db.File().string();

    // Once each, so that fonts, styles and the file's pages are loaded before timing.
    const std::size_t nTextBytes = StepAndCopy(strFile, stmt::SelectLibrarySorted());
    OpenDialogOnce();

    std::vector<double> baseline, open;
    for (int i = 0; i < kRuns; ++i) {
        auto start = Clock::now();
        StepAndCopy(strFile, stmt::SelectLibrarySorted());
        baseline.push_back(Milliseconds(start));
        open.push_back(OpenDialogOnce());
    }
    const double dBase = Median(baseline), dOpen = Median(open);
    std::printf("library of %d models, %zu bytes of text\n", kModels, nTextBytes);
    std::printf("open dialog  %8.1f ms   step+copy statement 1 %8.1f ms   ratio %.2f (goal <= 2)\n", dOpen,
                dBase, dOpen / dBase);

    // Searches: a keyword matching a few hundred models, and one matching all.
    CBenchDlg dlg;
    for (const char* pszKeyword : {"eb-12", "/"}) {
        const std::string strStatement =
            stmt::SearchModels(base::AsciiUpper(pszKeyword), base::AsciiLower(pszKeyword));
        std::vector<double> step, search;
        int nFound = 0;
        for (int i = 0; i < kRuns; ++i) {
            auto start = Clock::now();
            StepAndCopy(strFile, strStatement);
            step.push_back(Milliseconds(start));
            dlg.strKeyword = pszKeyword;
            start = Clock::now();
            dlg.OnFind();
            search.push_back(Milliseconds(start));
            nFound = dlg.ControlAs<QComboBox>(1032)->count();
        }
        const double dStep = Median(step), dSearch = Median(search);
        std::printf(
            "search \"%s\" (%d found) %8.1f ms   step+copy statement 6 %8.1f ms   ratio %.2f (goal <= 1.5)\n",
            pszKeyword, nFound, dSearch, dStep, dSearch / dStep);
    }

    // Memory: what the heap grows by while one dialog with the whole library is open.
    malloc_trim(0);
    const std::size_t nBefore = mallinfo2().uordblks;
    {
        CBenchDlg held;
        held.show();
        if (!QTest::qWaitForWindowExposed(&held))
            std::fprintf(stderr, "the dialog was never shown\n");
        QCoreApplication::processEvents();
        const std::size_t nAfter = mallinfo2().uordblks;
        const double dHeld = static_cast<double>(nAfter - nBefore);
        std::printf("dialog holds %.1f MB for %.1f MB of table text: ratio %.2f (goal < 3)\n",
                    dHeld / 1048576.0, static_cast<double>(nTextBytes) / 1048576.0,
                    dHeld / static_cast<double>(nTextBytes));
    }
    if (!messages.isEmpty())
        std::printf("messages shown: %s\n", qPrintable(messages.join(QStringLiteral(" | "))));
    return 0;
}
