#pragma once

#include <QIcon>

#include <array>

// ImageList1: the twelve pictures shared by the actions, the toolbar, the tray menu and the grid's
// state pictures (indices 0 to 2 are the TCueState values). Drawn as SVG, so crisp at any scale.
class TImageList {
public:
    static constexpr int Count = 12;

    TImageList();

    // The picture at index; an empty icon for an index outside 0 to Count - 1.
    QIcon Icon(int index) const;

private:
    std::array<QIcon, Count> FIcons;
};
