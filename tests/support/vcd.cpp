#include "vcd.hpp"

#include <fstream>
#include <sstream>

namespace testing_support {

Vcd readVcd(const std::string& path, const std::string& wire) {
    Vcd vcd;
    std::ifstream in(path);
    std::string line;
    std::string id;
    bool body = false;
    bool wellFormed = true;
    long long now = 0;
    bool stampAlone = false;  // a time with no change after it yet
    while (std::getline(in, line)) {
        if (!body) {
            std::istringstream words(line);
            std::string w, type, size, ident, name;
            words >> w;
            if (w == "$var" && (words >> type >> size >> ident >> name) && name == wire) id = ident;
            if (w == "$enddefinitions") body = true;
            continue;
        }
        if (line.empty() || line == "$dumpvars" || line == "$end") continue;
        if (line[0] == '#') {
            const long long t = std::stoll(line.substr(1));
            if (t < now || stampAlone) wellFormed = false;
            now = t;
            stampAlone = true;
        } else if ((line[0] == '0' || line[0] == '1') && line.size() >= 2) {
            stampAlone = false;
            if (line.substr(1) == id) vcd.edges.push_back({now, line[0] == '1'});
        } else {
            wellFormed = false;
        }
    }
    vcd.complete = body && wellFormed && !stampAlone && !id.empty();
    return vcd;
}

}  // namespace testing_support
