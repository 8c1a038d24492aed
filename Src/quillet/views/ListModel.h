#pragma once
// Change notices of a core list (log rows, item rows, tree entries) to the widget that
// shows it. The core holds the rows; the widget only asks for them again.
namespace quillet {

class ListListener {
public:
    virtual ~ListListener() = default;
    // Every row may have changed or gone.
    virtual void RowsReset() = 0;
    virtual void RowsInserted(int first, int count) = 0;
    // Some cells of the row were rewritten.
    virtual void RowChanged(int row) = 0;
    // The columns shown changed (lists with selectable columns only).
    virtual void ColumnsReset() {}
};

} // namespace quillet
