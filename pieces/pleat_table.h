// The pleat-spread tool's width table: where it lies in the client area and
// how its rows, width cells and buttons are laid out, with the host's button
// images it asks for. The tool draws the table and reads clicks on it; the
// host aims a replayed click on a cell or a button at it.
//
// Header only; nothing here owns memory. Units: client pixels, y down.
#pragma once

namespace pleat {

constexpr int kMaxRows = 20;  // pleat lines one table holds

// The panel: its top left corner and width; n rows make it n x kRowHeight +
// kPanelExtra high.
constexpr int kLeft = 5;
constexpr int kTop = 35;
constexpr int kWidth = 374;
constexpr int kRowHeight = 28;
constexpr int kPanelExtra = 78;

// The grid lies kGridInset inside the panel, below its title row and its
// header row: row r of the table runs from rowTop(r) down to rowTop(r + 1).
constexpr int kGridInset = 11;
constexpr int rowTop(int r) { return kTop + (r + 2) * kRowHeight + kGridInset; }

// A row's two width cells, from the panel's left edge, kCellWidth wide
// (eight characters of 11 pixels).
constexpr int kStartCell = 108;
constexpr int kEndCell = 284;
constexpr int kCellWidth = 88;

// The apply and cancel buttons, kButtonSize square, from the panel's top
// left corner; the host draws them from its images kApplyImage and
// kCancelImage.
constexpr int kApplyX = 308, kCancelX = 332, kButtonY = 12, kButtonSize = 24;
constexpr int kApplyImage = 24, kCancelImage = 23;

}  // namespace pleat
