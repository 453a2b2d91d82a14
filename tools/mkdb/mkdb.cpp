// Builds an SQLite file from SQL scripts: velmora-mkdb OUT SCRIPT...
// The build uses it to make the shipped data.mdb from schema.sql and seed.sql.
#include "Console.h"
#include "FileSystem.h"

#include <sqlite3.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = base::Utf8Arguments(argc, argv);
    if (arguments.size() < 3) {
        std::fprintf(stderr, "usage: velmora-mkdb OUT.db SCRIPT.sql...\n");
        return 2;
    }
    const std::string strOut = arguments[1];
    const std::string strTemp = strOut + ".tmp";
    base::RemoveFile(base::PathFromUtf8(strTemp));
    sqlite3* pDb = nullptr;
    if (sqlite3_open(strTemp.c_str(), &pDb) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", strTemp.c_str(), sqlite3_errmsg(pDb));
        return 1;
    }
    for (std::size_t i = 2; i < arguments.size(); ++i) {
        std::string strScript, strError;
        if (!base::ReadFile(base::PathFromUtf8(arguments[i]), strScript, strError)) {
            std::fprintf(stderr, "%s\n", strError.c_str());
            sqlite3_close(pDb);
            return 1;
        }
        char* pszError = nullptr;
        if (sqlite3_exec(pDb, strScript.c_str(), nullptr, nullptr, &pszError) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", arguments[i].c_str(), pszError ? pszError : "error");
            sqlite3_free(pszError);
            sqlite3_close(pDb);
            return 1;
        }
    }
    sqlite3_close(pDb);
    std::string strError;
    if (!base::ReplaceFile(base::PathFromUtf8(strTemp), base::PathFromUtf8(strOut), strError)) {
        std::fprintf(stderr, "%s\n", strError.c_str());
        return 1;
    }
    return 0;
}
