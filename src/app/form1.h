#pragma once

#include <QWidget>

namespace tessivane {

/// The main window: the inventory grid and the push buttons that start every command.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(QWidget* parent = nullptr);

    /// The start-up sequence; the window is shown after it returns.
    void Form_Load();
};

} // namespace tessivane
