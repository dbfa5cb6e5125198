// qconvert: converts a length between the units of a drawing.
//   qconvert VALUE FROM TO      (units: mm, cm, in, pt)
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Unit {
    const char* name;
    double millimetres;
};

constexpr Unit kUnits[] = {{"mm", 1.0}, {"cm", 10.0}, {"in", 25.4}, {"pt", 25.4 / 72.0}};

const Unit* FindUnit(const char* name) {
    for (const Unit& unit : kUnits) {
        if (std::strcmp(unit.name, name) == 0) {
            return &unit;
        }
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: qconvert VALUE FROM TO (units: mm, cm, in, pt)\n");
        return 1;
    }
    char* end = nullptr;
    const double value = std::strtod(argv[1], &end);
    const Unit* from = FindUnit(argv[2]);
    const Unit* to = FindUnit(argv[3]);
    if (end == argv[1] || *end != '\0' || from == nullptr || to == nullptr) {
        std::fprintf(stderr, "qconvert: expected a number and two of mm, cm, in, pt\n");
        return 1;
    }
    std::printf("%g %s\n", value * from->millimetres / to->millimetres, to->name);
    return 0;
}
