#include "samples/geometry/GeometryLibrary.h"

#include <cmath>

double QuillornaDistance(double x1, double y1, double x2, double y2) {
    return std::hypot(x2 - x1, y2 - y1);
}
