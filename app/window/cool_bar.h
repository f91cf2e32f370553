#pragma once

// The band of tool bars above the window's panes ("cbMain"): the main tool bar (band 0), the help tool bar
// (band 1) and the file-name band in one row; when the window is too narrow for all three, the file-name band
// wraps onto a second row.

#include <initializer_list>

#include <QWidget>

class QAction;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QToolBar;

namespace quorra {

class TCoolBar : public QWidget {
public:
    // The two tool bars hold the given actions in order; nullptr stands for a separator.
    TCoolBar(QWidget* parent, std::initializer_list<QAction*> mainBand, std::initializer_list<QAction*> helpBand);

    // Band 0 ("tbMain") or 1 ("tbHelp").
    QToolBar* Band(int index) const { return bands_[index]; }
    QLabel* FileNameLabel() const { return lblFileName_; }
    // The file name, editable, with the recent files as its list; completion only suggests.
    QComboBox* FileNameBox() const { return cbFileName_; }

    // Puts the file-name band on a second row when the window's width is less than the three bands need, and back
    // into the first row when they fit.
    void Arrange(int windowWidth);

private:
    QHBoxLayout* rows_[2] = {};
    QToolBar* bands_[2] = {};
    QWidget* pnlFileName_ = nullptr;
    QLabel* lblFileName_ = nullptr;
    QComboBox* cbFileName_ = nullptr;
    QWidget* rowFiller_ = nullptr; // keeps the tool bars at the left while the file-name band has a row of its own
};

} // namespace quorra
