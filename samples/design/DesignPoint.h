// A point of the design in logical pixels, free of any toolkit so that every skin of the control shares the model.
#pragma once

namespace quillorna {

struct DesignPoint {
    int x = 0;
    int y = 0;

    DesignPoint operator+(DesignPoint other) const { return {x + other.x, y + other.y}; }
    DesignPoint operator-(DesignPoint other) const { return {x - other.x, y - other.y}; }
    bool IsNull() const { return x == 0 && y == 0; }
    bool operator==(const DesignPoint&) const = default;
};

} // namespace quillorna
