// faq-tds-server FILE [--nvarchar] [--encrypt] [--password TEXT] [--type NAME=TYPE]...: serves FILE
// as the TDS test server does in the tests (login sa, with that password), prints its port, and
// runs until standard input closes.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "tds_server.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: faq-tds-server FILE [--nvarchar] [--encrypt] [--password TEXT] [--type NAME=TYPE]...\n");
        return 2;
    }
    faq::test::TdsServer::Options o;
    o.file = argv[1];
    for (int i = 2; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--nvarchar")) {
            o.nvarcharTexts = true;
        } else if (!std::strcmp(argv[i], "--encrypt")) {
            o.requireEncryption = true;
        } else if (!std::strcmp(argv[i], "--password") && i + 1 < argc) {
            o.password = argv[++i];
        } else if (!std::strcmp(argv[i], "--type") && i + 1 < argc) {
            const std::string t = argv[++i];
            o.columnTypes[t.substr(0, t.find('='))] = t.substr(t.find('=') + 1);
        }
    }
    faq::test::TdsServer server(o);
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
}
