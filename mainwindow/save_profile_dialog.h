// "保存为模组" (dialog 201): the details of a module profile, proposed from the record and the module
// size, saved to the module library on Save. It renders and forwards only: the profile is built and
// written by profiles/ (ProfileLibrary::save); a name taken asks before it is replaced.
// UI thread only.
#pragma once

#include <QDialog>

#include <filesystem>
#include <optional>

#include "profiles/profile_library.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

class SaveProfileDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogNumber = 201;
    enum Control : int { kSave = 1, kCancel = 2, kAttachPicture = 1001 };

    // `picture`: the traced grid picture that may go with the profile (offered only when it exists).
    SaveProfileDialog(profiles::ProfileLibrary library, const screenconfig::ScreenParams& record,
                      std::uint32_t width, std::uint32_t height,
                      std::optional<std::filesystem::path> picture = std::nullopt, QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* makerEdit() const { return maker_; }
    QLineEdit* modelEdit() const { return model_; }
    QLineEdit* pitchEdit() const { return pitch_; }
    QSpinBox* widthBox() const { return width_; }
    QSpinBox* heightBox() const { return height_; }
    QPlainTextEdit* notesEdit() const { return notes_; }
    QCheckBox* attachPicture() const { return attach_; }
    // The name of the profile saved, once Save succeeded.
    const std::string& savedName() const { return saved_; }

  public slots:
    void accept() override;

  private:
    profiles::ProfileLibrary library_;
    screenconfig::ScreenParams record_;
    std::optional<std::filesystem::path> picture_;
    std::string saved_;
    bool name_edited_ = false;
    QLineEdit* name_ = nullptr;
    QLineEdit* maker_ = nullptr;
    QLineEdit* model_ = nullptr;
    QLineEdit* pitch_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QCheckBox* attach_ = nullptr;
};
