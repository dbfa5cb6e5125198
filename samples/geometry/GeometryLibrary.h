// The Quillorna geometry library: shared geometry routines for the product's components.
#pragma once

#ifdef _WIN32
#define QUILLORNA_GEOMETRY_EXPORT __declspec(dllexport)
#else
#define QUILLORNA_GEOMETRY_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// The distance between (x1, y1) and (x2, y2). Any thread; never fails.
QUILLORNA_GEOMETRY_EXPORT double QuillornaDistance(double x1, double y1, double x2, double y2);
}
