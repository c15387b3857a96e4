#pragma once

#include <QDialog>
#include <filesystem>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {
class Workspace;
}

namespace velmora::ui {

class MessageSink;

// The New project dialog: asks for a name and creates that project inside `destination`.
// Its close gate decides every request to close it (Escape, the window system) and keeps its
// value between showings; it is closed when the dialog is created.
class TFsaveproj : public QDialog {
    Q_OBJECT
public:
    TFsaveproj(Workspace& workspace, MessageSink& messages, QWidget* parent = nullptr);

    // Resets the dialog for a showing: caption, empty field, focus in the field.
    void FormShow();
    // OK: checks the name, creates the project, and closes with Accepted when the gate stays open.
    void bitbtn1Click();
    // Cancel: opens the gate and closes with Rejected.
    void bitbtn2Click();
    // True when a request to close the dialog is granted.
    bool gateOpen() const { return gate_; }
    // Escape and the window system's close end here: granted only through the open gate.
    void reject() override;

    // Where the project is created; set by the caller before every showing, "" at creation.
    std::filesystem::path destination;

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* bitbtn1;
    QPushButton* bitbtn2;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Workspace& workspace_;
    MessageSink& messages_;
    bool gate_ = false;
};

}  // namespace velmora::ui
