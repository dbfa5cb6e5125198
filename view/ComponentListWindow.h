// The component list as the view drives it: a table of text rows under column headings, one row a record.
#pragma once

#include <string>
#include <vector>

namespace zarn {

class ComponentListWindow {
public:
    virtual ~ComponentListWindow() = default;

    // Makes the list as a hidden child of the view, with these column headings; false when it cannot be made.
    // UI thread.
    virtual bool CreateList(const std::vector<std::string>& headings) = 0;
    // Replaces every row by `rows`, each one text a column in the records' own encoding. UI thread.
    virtual void SetListRows(const std::vector<std::vector<std::string>>& rows) = 0;
    // The columns' widths in pixels, in heading order. UI thread.
    virtual void SetListColumnWidths(const std::vector<int>& widths) = 0;
    virtual void ShowList(bool shown) = 0;
    virtual void EnableList(bool enabled) = 0;
    // Places the list at the view's top left corner, `width` by `height` pixels, and repaints it. UI thread.
    virtual void PlaceList(int width, int height) = 0;
};

} // namespace zarn
