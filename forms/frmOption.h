#pragma once
// The options dialog: the slideshow interval, shown modally from the main window's tool menu.
// Like a form of the old desktop toolkits it has one instance that is "loaded" or not: OK and
// Cancel only hide it (its controls keep their state), the close box and shutdown unload it.
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

class frmOption : public QDialog {
    Q_OBJECT
public:
    // The loaded instance, or nullptr.
    static frmOption* loaded();
    // The loaded instance, built when it is not loaded.
    static frmOption& load();

    // Shows the dialog modally at its remembered place and returns when it is hidden or
    // unloaded: true, whether the user confirmed or cancelled; false after an error. The
    // instance may be gone when this returns (the close box unloads it).
    bool gfForm_Show();

    // The controls, public so the main window and the tests can reach them.
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QSpinBox* txtIntervbal = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    frmOption();
    ~frmOption() override;

    void Form_QueryUnload(bool& hbCancel, int hnUnloadMode);
    void Form_Hide();
    void fSetCtrlValue();
    void fGetCtrlValue();
    void unload();
};
