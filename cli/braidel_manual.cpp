// braidel-manual: writes the parts of braidel-run's manual page and reference that the option
// table and the exit-code table make (cli/plan/manual_pages.h).
//   braidel-manual FILE...          each page's parts written anew, in place
//   braidel-manual --check FILE...  exit 1, naming each page whose parts are out of date

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/plan/manual_pages.h"

namespace {

bool ReadPage(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    text = bytes.str();
    return static_cast<bool>(file);
}

bool WritePage(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return static_cast<bool>(file);
}

// 0 when the page is as the tables make it (or now is), 1 when --check finds it out of date, 2
// when it cannot be read, written or parsed.
int UpdatePage(const std::string& path, bool check) {
    std::string page;
    std::string written;
    if (!ReadPage(path, page)) {
        std::fprintf(stderr, "braidel-manual: %s: cannot be read\n", path.c_str());
        return 2;
    }
    if (Failure failure = RegeneratePage(page, FormatOfPage(path), written)) {
        std::fprintf(stderr, "braidel-manual: %s: %s\n", path.c_str(), failure.reason.c_str());
        return 2;
    }
    if (written == page) return 0;
    if (check) {
        std::fprintf(stderr,
                     "braidel-manual: %s: its generated parts are out of date; "
                     "cmake --build --preset linux --target manual-pages writes them\n",
                     path.c_str());
        return 1;
    }
    if (!WritePage(path, written)) {
        std::fprintf(stderr, "braidel-manual: %s: cannot be written\n", path.c_str());
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> pages(argv + 1, argv + argc);
    const bool check = !pages.empty() && pages.front() == "--check";
    if (check) pages.erase(pages.begin());
    if (pages.empty()) {
        std::fprintf(stderr, "usage: braidel-manual [--check] FILE...\n");
        return 2;
    }
    int worst = 0;
    for (const std::string& page : pages) {
        const int result = UpdatePage(page, check);
        worst = result > worst ? result : worst;
    }
    return worst;
}
