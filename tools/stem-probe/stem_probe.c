/* Prints the stem the protocol's rule gives for each path argument, so that
 * other implementations of the rule can be checked against this one. */
#include <stdio.h>
#include <string.h>

#include "zolt_protocol.h"

int main(int argc, char **argv) {
    const char *stem;
    size_t stem_length;
    int i;
    if (argc < 2 || strlen(argv[1]) != 1) {
        fprintf(stderr, "usage: zolt_stem_probe SEPARATOR PATH...\n");
        return 2;
    }
    for (i = 2; i < argc; ++i) {
        if (zolt_find_stem(argv[i], argv[1][0], &stem, &stem_length))
            printf("1 %.*s\n", (int)stem_length, stem);
        else
            printf("0\n");
    }
    return 0;
}
