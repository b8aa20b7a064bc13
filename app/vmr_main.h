#pragma once
// The main window. Its creation begins with the unlock window; nothing else of
// the notebook is built until the password matched.

#include <QWidget>

class TTPagesMain : public QWidget {
    Q_OBJECT
public:
    explicit TTPagesMain(QWidget* Parent = nullptr);

    // Runs the unlock window; true when it was unlocked.
    bool Splash();
    // Writes the stored crypt string to the settings store.
    void SaveSettings();

    void FormCreate();
};

// The product version shown in the caption.
QString ProductVersion();
