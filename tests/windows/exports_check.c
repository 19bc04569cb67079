/* Resolves entries of a DLL by export ordinal and by name and compares the addresses:
 *   exports_check.exe DLL NAME=ORDINAL...
 * Prints one line per entry that differs or is missing and ends with status 1 if there was
 * one; status 0 and "N entries" when every name and its ordinal give the same function. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: exports_check DLL NAME=ORDINAL...\n");
        return 2;
    }
    HMODULE library = LoadLibraryA(argv[1]);
    if (!library) {
        fprintf(stderr, "cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    int faults = 0;
    for (int i = 2; i < argc; ++i) {
        char name[256];
        const char* equals = strchr(argv[i], '=');
        if (!equals || equals - argv[i] >= (long)sizeof name) {
            fprintf(stderr, "not NAME=ORDINAL: %s\n", argv[i]);
            return 2;
        }
        memcpy(name, argv[i], (size_t)(equals - argv[i]));
        name[equals - argv[i]] = '\0';
        const long ordinal = strtol(equals + 1, NULL, 10);
        FARPROC by_name = GetProcAddress(library, name);
        FARPROC by_ordinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
        if (!by_name || !by_ordinal || by_name != by_ordinal) {
            printf("%s: by name %p, by ordinal %ld %p\n", name, (void*)by_name, ordinal,
                   (void*)by_ordinal);
            ++faults;
        }
    }
    printf("%d entries, %d differ\n", argc - 2, faults);
    return faults ? 1 : 0;
}
