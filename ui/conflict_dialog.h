// The dialog that asks which version of each entry changed both in the window and on disk to keep.
#pragma once

#include <admins_document.h>
#include <preview.h>

#include <QDialog>

#include <vector>

class QRadioButton;

namespace ui {

class ConflictDialog : public QDialog {
public:
    ConflictDialog(QWidget* parent, const QString& file, const std::vector<doc::Conflict>& conflicts);
    // One answer for each conflict, as its choices stand.
    std::vector<doc::Answer> answers() const;

private:
    std::vector<doc::Conflict> conflicts_;
    std::vector<QRadioButton*> keepWindow_;
};

// What the dialog of Show Changes... says above the diff: any reason Save would refuse, the entries it would ask
// about, and whether it would change the file.
QString changesSummary(const QString& file, const doc::Preview& preview);

} // namespace ui
