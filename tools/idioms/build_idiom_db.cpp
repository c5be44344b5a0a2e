// build_idiom_db <table.tsv> <data.dll>: writes the idiom database from the
// table that extract.js produced.

#include "idiom_db_builder.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: build_idiom_db <table.tsv> <data.dll>\n";
        return 2;
    }
    try {
        const std::vector<IdiomRecord> records = readIdiomTable(argv[1]);
        const BuildReport report = writeIdiomDatabase(argv[2], records);
        std::cout << argv[2] << ": " << report.rows << " idioms";
        if (report.lossyFields)
            std::cout << ", " << report.lossyFields
                      << " fields with characters outside CP936 (stored as \"?\")";
        std::cout << "\n";
    } catch (const std::exception& e) {
        std::cerr << "build_idiom_db: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
