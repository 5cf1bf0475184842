// The floor for `tamberlin-demo info` in terminal mode: a program that links
// only SQLite and fontconfig and does the same kinds of work once — opens a
// settings database and reads one value, asks fontconfig for one family, and
// prints a few lines.
#include <cstdio>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <sqlite3.h>
#include <string>

int main() {
    const char* home = std::getenv("XDG_CONFIG_HOME");
    const std::string path = std::string(home ? home : "/tmp") + "/bench-info-floor.db";
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return 1;
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS v(k TEXT PRIMARY KEY, d TEXT);"
                 "INSERT OR IGNORE INTO v VALUES('AppData', '/home/user/.local/share')",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "SELECT d FROM v WHERE k = 'AppData'", -1, &query, nullptr);
    if (sqlite3_step(query) == SQLITE_ROW)
        std::printf("AppData: %s\n", reinterpret_cast<const char*>(sqlite3_column_text(query, 0)));
    sqlite3_finalize(query);
    sqlite3_close(db);

    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("Arial"));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    std::printf("Arial installed: %s\n", fonts && fonts->nfont > 0 ? "yes" : "no");
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return 0;
}
