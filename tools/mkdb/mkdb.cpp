// Builds an SQLite file from SQL scripts: velmora-mkdb OUT SCRIPT...
// The build uses it to make the shipped data.mdb from schema.sql and seed.sql.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT.db SCRIPT.sql...\n", argv[0]);
        return 2;
    }
    std::string strOut = argv[1];
    std::string strTemp = strOut + ".tmp";
    std::remove(strTemp.c_str());
    sqlite3* pDb = nullptr;
    if (sqlite3_open(strTemp.c_str(), &pDb) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", strTemp.c_str(), sqlite3_errmsg(pDb));
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            sqlite3_close(pDb);
            return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        char* pszError = nullptr;
        if (sqlite3_exec(pDb, text.str().c_str(), nullptr, nullptr, &pszError) != SQLITE_OK) {
            std::fprintf(stderr, "%s: %s\n", argv[i], pszError ? pszError : "error");
            sqlite3_free(pszError);
            sqlite3_close(pDb);
            return 1;
        }
    }
    sqlite3_close(pDb);
    if (std::rename(strTemp.c_str(), strOut.c_str()) != 0) {
        std::perror("rename");
        return 1;
    }
    return 0;
}
