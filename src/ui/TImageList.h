#pragma once

#include <QIcon>

#include <array>

// ImageList1: the pictures shared by the actions, the toolbar, the tray menu and the grid (indices
// 0 to 2 are the TCueState values). Drawn as SVG, so crisp at any scale.
class TImageList {
public:
    static constexpr int Count = 16;
    static constexpr int OpenFile = 11;
    static constexpr int AddFiles = 12;
    static constexpr int Undo = 13;
    static constexpr int Redo = 14;
    static constexpr int FileMissing = 15;

    TImageList();

    // The picture at index; an empty icon for an index outside 0 to Count - 1.
    QIcon Icon(int index) const;

private:
    std::array<QIcon, Count> FIcons;
};
