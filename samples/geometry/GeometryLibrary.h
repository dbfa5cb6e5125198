// The Quillorna geometry library: shared geometry routines for the product's components.
#pragma once

extern "C" {

// The distance between (x1, y1) and (x2, y2). Any thread; never fails.
__attribute__((visibility("default"))) double QuillornaDistance(double x1, double y1, double x2, double y2);
}
