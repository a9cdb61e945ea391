#include "dialogs/toolbar_customize_dialog.h"
#include "support/printers.h"

#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QList<ToolbarButtonInfo> toolbarButtons() {
    QPixmap image(16, 16);
    image.fill(Qt::blue);
    const QIcon icon(image);
    QList<ToolbarButtonInfo> buttons;
    const char* table[][2] = {{"Open", "Open"},
                              {"Cut", "Cut"},
                              {"Copy", "Copy"},
                              {"Paste", "Paste"},
                              {"Delete", "Delete"},
                              {"Properties", "Properties"},
                              {"ViewFoldersInfo", "View folders info"},
                              {"SwapFolders", "Swap folders"},
                              {"Help", "Help"}};
    for (const auto& row : table)
        buttons.append({QLatin1String(row[0]), QLatin1String(row[1]), icon});
    return buttons;
}

QStringList keys(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* k : list)
        out << QLatin1String(k);
    return out;
}

class ToolbarDialog : public ::testing::Test {
protected:
    void open(const QStringList& current) {
        dialog = std::make_unique<ToolbarCustomizeDialog>(toolbarButtons(), current, defaults);
    }
    QListWidget* available() const {
        return dialog->findChild<QListWidget*>(QStringLiteral("lstAvailable"));
    }
    QListWidget* current() const {
        return dialog->findChild<QListWidget*>(QStringLiteral("lstCurrent"));
    }
    QPushButton* button(const char* name) const {
        QPushButton* b = dialog->findChild<QPushButton*>(QLatin1String(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    QStringList texts(QListWidget* list) const {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out << list->item(i)->text();
        return out;
    }
    // Selects the row of `list` with the given text.
    void select(QListWidget* list, const QString& text) {
        const int row = texts(list).indexOf(text);
        ASSERT_GE(row, 0) << text.toStdString();
        list->setCurrentRow(row);
    }

    const QStringList defaults =
        keys({"Open", "", "Cut", "Copy", "Paste", "", "Delete", "Properties", "", "ViewFoldersInfo",
              "SwapFolders", "", "Help"});
    std::unique_ptr<ToolbarCustomizeDialog> dialog;
};

TEST_F(ToolbarDialog, OpensWithCurrentArrangementAndTheRestAvailable) {
    open(keys({"Open", "", "Help", "Open"}));
    EXPECT_EQ(dialog->arrangement(), keys({"Open", "", "Help"})) << "a button stands once";
    EXPECT_EQ(texts(current()), keys({"Open", "Separator", "Help"}));
    EXPECT_EQ(texts(available()), keys({"Separator", "Cut", "Copy", "Paste", "Delete", "Properties",
                                        "View folders info", "Swap folders"}));
    EXPECT_FALSE(available()->item(6)->icon().isNull()) << "buttons show their images";
    EXPECT_EQ(available()->item(6)->toolTip(), QStringLiteral("View folders info"));
}

TEST_F(ToolbarDialog, AddMovesAButtonAfterTheSelectionAndSeparatorsStayAvailable) {
    open(keys({"Open", "Help"}));
    current()->setCurrentRow(0);
    select(available(), QStringLiteral("Swap folders"));
    button("cmdAdd")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"Open", "SwapFolders", "Help"}));
    EXPECT_FALSE(texts(available()).contains(QStringLiteral("Swap folders")));

    select(available(), QStringLiteral("Separator"));
    button("cmdAdd")->click();
    button("cmdAdd")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"Open", "SwapFolders", "", "", "Help"}))
        << "successive additions keep their order";
    EXPECT_EQ(texts(available()).count(QStringLiteral("Separator")), 1);

    current()->setCurrentRow(-1);
    select(available(), QStringLiteral("Cut"));
    button("cmdAdd")->click();
    EXPECT_EQ(dialog->arrangement().last(), QStringLiteral("Cut")) << "no selection: at the end";
}

TEST_F(ToolbarDialog, RemoveReturnsButtonsToTheirPlaceAndDropsSeparators) {
    open(defaults);
    EXPECT_EQ(texts(available()), keys({"Separator"}));
    select(current(), QStringLiteral("Copy"));
    button("cmdRemove")->click();
    select(current(), QStringLiteral("Open"));
    button("cmdRemove")->click();
    EXPECT_EQ(texts(available()), keys({"Separator", "Open", "Copy"})) << "in the toolbar's order";

    current()->setCurrentRow(0); // the separator that followed Open
    button("cmdRemove")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"Cut", "Paste", "", "Delete", "Properties", "",
                                           "ViewFoldersInfo", "SwapFolders", "", "Help"}));
    EXPECT_EQ(texts(available()).count(QStringLiteral("Separator")), 1);
    EXPECT_EQ(current()->currentRow(), 0) << "the next button is selected";

    while (current()->count() > 0)
        button("cmdRemove")->click();
    EXPECT_TRUE(dialog->arrangement().isEmpty());
    EXPECT_FALSE(button("cmdRemove")->isEnabled());
    EXPECT_EQ(available()->count(), 10);
}

TEST_F(ToolbarDialog, MoveUpAndDownStopAtTheEnds) {
    open(keys({"Open", "", "Help"}));
    current()->setCurrentRow(0);
    EXPECT_FALSE(button("cmdMoveUp")->isEnabled());
    EXPECT_TRUE(button("cmdMoveDown")->isEnabled());
    button("cmdMoveDown")->click();
    button("cmdMoveDown")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"", "Help", "Open"}));
    EXPECT_EQ(current()->currentRow(), 2) << "the moved button stays selected";
    EXPECT_FALSE(button("cmdMoveDown")->isEnabled());
    button("cmdMoveDown")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"", "Help", "Open"}));

    button("cmdMoveUp")->click();
    EXPECT_EQ(dialog->arrangement(), keys({"", "Open", "Help"}));
}

TEST_F(ToolbarDialog, ResetReturnsToTheDefaults) {
    open(keys({"Help"}));
    button("cmdReset")->click();
    EXPECT_EQ(dialog->arrangement(), defaults);
    EXPECT_EQ(texts(available()), keys({"Separator"}));
}

TEST_F(ToolbarDialog, OkAcceptsAndCancelRejects) {
    open(defaults);
    button("cmdOK")->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    open(defaults);
    button("cmdCancel")->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

} // namespace
