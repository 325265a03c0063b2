#include "support/wine_fixture.h"

#include <cstdio>
#include <cstdlib>

std::string wine_path(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string fixture_port(const std::string& name) {
    const char* dir = getenv("DORV_FIXTURE_DIR");
    if (dir == nullptr) return "";
    FILE* f = fopen(wine_path(std::string(dir) + "/" + name + "/port").c_str(), "r");
    if (f == nullptr) return "";
    char port[32] = "";
    if (fgets(port, sizeof port, f) == nullptr) port[0] = '\0';
    fclose(f);
    std::string text = port;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text == "none" ? "" : text;
}
