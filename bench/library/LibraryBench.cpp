// Importing N new models (100,000 unless the first argument says otherwise)
// from a CSV file (preview and write) against inserting the same rows through
// the sqlite3 C API in one transaction with a prepared statement; exporting
// them against reading the same rows and writing the same text with stdio.
// Then the peak memory of re-importing the N models with other codes into a
// library that holds them (N conflicts), previewed only and taken. Prints the
// times, the ratios and the memory.
#include "ImportPreview.h"
#include "LibraryWriter.h"
#include "ResidentMemory.h"
#include "TestDatabase.h"
#include "Words.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Row = std::array<std::string, 7>;

int g_nModels = 100000;
int g_nRuns = 5;

double Milliseconds(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Row i of the benchmark's library; a variant other than 0 gives the same
// model with other codes. Rows are made when needed, so the benchmark itself
// holds none of them and the memory measured is the import's.
Row MakeRow(int i, int nVariant = 0) {
    const char* makers[] = {"Epson EB-", "NEC NP-", "Panasonic PT-", "BenQ MX", "明基MX", "爱普生CB-"};
    const char* bauds[] = {"9600", "19200", "38400", "115200"};
    const char* parities[] = {"无", "奇", "偶"};
    const char* codes[] = {"534F555243452031310D",       "0203000002010109",        "02504F4E03", "7E53520D",
                           "BEEF030600FED2010000200000", "0D2A736F75723D524742230D"};
    const int j = i + nVariant;
    return Row{std::string(makers[i % 6]) + std::to_string(100000 + i * 7),
               bauds[i % 4],
               parities[i % 3],
               codes[j % 6],
               codes[(j + 1) % 6],
               codes[(j + 2) % 6],
               codes[(j + 3) % 6]};
}

void WriteCsv(const std::string& strPath, int nVariant) {
    std::FILE* pFile = std::fopen(strPath.c_str(), "wb");
    std::fputs("model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n", pFile);
    for (int i = 0; i < g_nModels; ++i) {
        const Row row = MakeRow(i, nVariant);
        std::fprintf(pFile, "%s,%s,%s,%s,%s,%s,%s\r\n", row[0].c_str(), row[1].c_str(), row[2].c_str(),
                     row[3].c_str(), row[4].c_str(), row[5].c_str(), row[6].c_str());
    }
    std::fclose(pFile);
}

double BaselineInsert(const std::string& strLibrary) {
    const auto start = Clock::now();
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(strLibrary.c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(pDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* pInsert = nullptr;
    sqlite3_prepare_v2(
        pDb,
        "INSERT INTO DATA (\"投影机型号\",\"波特率\",\"校验\",VGA,VIDEO,\"POWER ON\",\"POWER OFF\") "
        "VALUES (?1,?2,?3,?4,?5,?6,?7)",
        -1, &pInsert, nullptr);
    for (int nRow = 0; nRow < g_nModels; ++nRow) {
        const Row row = MakeRow(nRow);
        for (int i = 0; i < 7; ++i)
            sqlite3_bind_text(pInsert, i + 1, row[static_cast<std::size_t>(i)].data(),
                              static_cast<int>(row[static_cast<std::size_t>(i)].size()), SQLITE_STATIC);
        sqlite3_step(pInsert);
        sqlite3_reset(pInsert);
    }
    sqlite3_finalize(pInsert);
    sqlite3_exec(pDb, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(pDb);
    return Milliseconds(start);
}

double BaselineExport(const std::string& strLibrary, const std::string& strCsv) {
    const auto start = Clock::now();
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(strLibrary.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* pSelect = nullptr;
    sqlite3_prepare_v2(
        pDb,
        "SELECT \"投影机型号\",\"波特率\",\"校验\",VGA,VIDEO,\"POWER ON\",\"POWER OFF\" FROM DATA "
        "ORDER BY \"投影机型号\", rowid",
        -1, &pSelect, nullptr);
    std::FILE* pFile = std::fopen(strCsv.c_str(), "wb");
    std::fputs("\xEF\xBB\xBFmodel,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n", pFile);
    while (sqlite3_step(pSelect) == SQLITE_ROW) {
        const auto Text = [&](int i) {
            return reinterpret_cast<const char*>(sqlite3_column_text(pSelect, i));
        };
        std::fprintf(pFile, "%s,%s,%s,%s,%s,%s,%s\r\n", Text(0), Text(1), Text(2), Text(3), Text(4), Text(5),
                     Text(6));
    }
    std::fclose(pFile);
    sqlite3_finalize(pSelect);
    sqlite3_close(pDb);
    return Milliseconds(start);
}

double WriteTextOnly(const std::string& strText, const std::string& strCsv) {
    const auto start = Clock::now();
    std::FILE* pFile = std::fopen(strCsv.c_str(), "wb");
    std::fwrite(strText.data(), 1, strText.size(), pFile);
    std::fclose(pFile);
    return Milliseconds(start);
}

std::string ReadAll(const std::string& strPath) {
    std::string strText;
    std::FILE* pFile = std::fopen(strPath.c_str(), "rb");
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0;)
        strText.append(buffer, n);
    std::fclose(pFile);
    return strText;
}

// The process's peak resident memory in bytes since the last ResetPeak
// (Linux's VmHWM); 0 where the system does not report it.
std::uint64_t PeakMemory() {
    return static_cast<std::uint64_t>(ResidentKb("VmHWM:")) * 1024;
}

std::uint64_t CurrentMemory() {
    return static_cast<std::uint64_t>(ResidentKb()) * 1024;
}

void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Imports the CSV file into the library, previewed only or taken, in this
// process; prints the time and the peak memory above what the process held
// before. Run in a fresh process, so no memory an earlier phase freed but kept
// hides what the import needs.
int MeasureImport(bool bTake, const std::string& strLibrary, const std::string& strCsv) {
    ResetPeak();
    const std::uint64_t nBefore = CurrentMemory();
    const auto start = Clock::now();
    library::CImportPreview preview;
    if (!preview.Load(strCsv, strLibrary)) {
        std::fprintf(stderr, "conflict preview failed: %s\n", cli::LibraryErrorText(preview.Error()).c_str());
        return 1;
    }
    if (bTake) {
        preview.SetChoiceForAll(library::EChoice::Take);
        const library::SWriteResult result = library::ApplyImport(preview, strLibrary);
        if (!result.bOk) {
            std::fprintf(stderr, "taking the conflicts failed: %s\n",
                         cli::LibraryErrorText(result.error).c_str());
            return 1;
        }
    }
    const double nMilliseconds = Milliseconds(start);
    const std::uint64_t nPeak = PeakMemory();
    std::printf("%zu %.1f %.1f\n", preview.Counts().nConflict, nMilliseconds,
                nPeak > nBefore ? static_cast<double>(nPeak - nBefore) / 1e6 : 0.0);
    return 0;
}

// Runs MeasureImport in a child process of this program on a library of N
// models and a file of the same models with other codes.
bool MeasureConflicts(const std::string& strProgram, bool bTake, double& nMegabytes, double& nMilliseconds) {
    CTestDatabase db(true, false);
    BaselineInsert(db.File().string());
    const std::string strCsv = (db.Folder() / "conflicts.csv").string();
    WriteCsv(strCsv, 1);
    const std::string strOut = (db.Folder() / "measured.txt").string();
    const std::string strCommand = "\"" + strProgram + "\" --measure-import " + (bTake ? "take" : "dry-run") +
                                   " \"" + db.File().string() + "\" \"" + strCsv + "\" > \"" + strOut + "\"";
    if (std::system(strCommand.c_str()) != 0)
        return false;
    std::ifstream measured(strOut);
    std::size_t nConflicts = 0;
    measured >> nConflicts >> nMilliseconds >> nMegabytes;
    if (nConflicts != static_cast<std::size_t>(g_nModels)) {
        std::fprintf(stderr, "expected %d conflicts, saw %zu\n", g_nModels, nConflicts);
        return false;
    }
    return true;
}

} // namespace

// velmora_library_bench [MODELS [RUNS]]
int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--measure-import")
        return MeasureImport(std::string(argv[2]) == "take", argv[3], argv[4]);
    // The test databases move the working folder; the child is found by a full path.
    const std::string strProgram = std::filesystem::absolute(argv[0]).string();
    if (argc > 1)
        g_nModels = std::max(1, std::atoi(argv[1]));
    if (argc > 2)
        g_nRuns = std::max(1, std::atoi(argv[2]));
    std::vector<double> baseInsert, ourImport, ourPreview, baseExport, ourExport, textOnly;
    std::size_t nCsvBytes = 0;
    for (int nRun = 0; nRun < g_nRuns; ++nRun) {
        {
            CTestDatabase db(true, false);
            baseInsert.push_back(BaselineInsert(db.File().string()));
        }
        {
            CTestDatabase db(true, false);
            const std::string strCsv = (db.Folder() / "in.csv").string();
            WriteCsv(strCsv, 0);
            const auto start = Clock::now();
            library::CImportPreview preview;
            if (!preview.Load(strCsv, db.File().string())) {
                std::fprintf(stderr, "preview failed: %s\n", cli::LibraryErrorText(preview.Error()).c_str());
                return 1;
            }
            ourPreview.push_back(Milliseconds(start));
            const library::SWriteResult result = library::ApplyImport(preview, db.File().string());
            ourImport.push_back(Milliseconds(start));
            if (!result.bOk || result.nInserted != static_cast<std::size_t>(g_nModels)) {
                std::fprintf(stderr, "import failed: %s\n", cli::LibraryErrorText(result.error).c_str());
                return 1;
            }

            const std::string strOut = (db.Folder() / "out.csv").string();
            const std::string strBase = (db.Folder() / "base.csv").string();
            auto exportStart = Clock::now();
            const library::SWriteResult exported = library::ExportLibrary(db.File().string(), strOut);
            ourExport.push_back(Milliseconds(exportStart));
            if (!exported.bOk) {
                std::fprintf(stderr, "export failed: %s\n", cli::LibraryErrorText(exported.error).c_str());
                return 1;
            }
            baseExport.push_back(BaselineExport(db.File().string(), strBase));
            const std::string strText = ReadAll(strOut);
            nCsvBytes = strText.size();
            if (strText != ReadAll(strBase)) {
                std::fprintf(stderr, "the export and the stdio text differ\n");
                return 1;
            }
            textOnly.push_back(WriteTextOnly(strText, strBase));
        }
    }
    const double nBaseInsert = Median(baseInsert), nImport = Median(ourImport), nPreview = Median(ourPreview);
    const double nBaseExport = Median(baseExport), nExport = Median(ourExport), nText = Median(textOnly);
    std::printf("models: %d, CSV: %.1f MB, median of %d runs\n", g_nModels, nCsvBytes / 1e6, g_nRuns);
    std::printf(
        "import (preview %.1f ms + write): %.1f ms; sqlite3 prepared insert in one transaction: %.1f ms; "
        "ratio %.2f (target <= 1.5)\n",
        nPreview, nImport, nBaseInsert, nImport / nBaseInsert);
    std::printf(
        "export: %.1f ms; sqlite3 select + stdio fprintf of the same text: %.1f ms; ratio %.2f (target "
        "<= 1.5)\n",
        nExport, nBaseExport, nExport / nBaseExport);
    std::printf("(writing the finished text alone with fwrite: %.1f ms; export / that: %.2f)\n", nText,
                nExport / nText);

    double nDryRunMb = 0, nTakeMb = 0, nDryRunMs = 0, nTakeMs = 0;
    if (!MeasureConflicts(strProgram, false, nDryRunMb, nDryRunMs) ||
        !MeasureConflicts(strProgram, true, nTakeMb, nTakeMs))
        return 1;
    const double nPerMillion = 1e6 / g_nModels;
    std::printf("re-import of %d models with other codes into a library holding them (%d conflicts):\n"
                "  dry run: %.1f ms, peak memory %.1f MB (%.0f MB per million conflicts)\n"
                "  take:    %.1f ms, peak memory %.1f MB (%.0f MB per million conflicts; target <= 200)\n",
                g_nModels, g_nModels, nDryRunMs, nDryRunMb, nDryRunMb * nPerMillion, nTakeMs, nTakeMb,
                nTakeMb * nPerMillion);
    if (PeakMemory() == 0)
        std::printf("  (this system reports no peak memory)\n");
    return 0;
}
