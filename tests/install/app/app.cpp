// Stores a record in a database of the working directory, reads it back and prints it with a
// string check value: the toolkit at work in a program of its own.
#include "toolkit/toolkit.h"

#include <cstdio>

int main() {
    my_name = const_cast<char *>("app");
    flUseLog = 0;
    DbmSetV4DriverPathHandling();
    DbTHandle *db = DbTOpen("./app.odb", 0);
    if (!db || !DbmTPutRecord(db, "greeting", "hello", 6)) return 1;
    char data[16];
    int n = DbmTGetRecord(db, "greeting", data);
    DbTClose(db);
    if (n != 6) return 1;
    printf("%s %s\n", data, NlsCalcStrVal(const_cast<char *>("abc")));
    return 0;
}
