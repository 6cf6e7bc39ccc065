// Name entry dialog: OK follows the edit's text, the caption names the program's version.
#include "workspace/TF_EditBrushName.h"

#include "project/Helpers.h"

#include "support/ModalDialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(EditBrushName, OkOnlyWithTextAndTheTextComesBack)
{
    TF_EditBrushName d;
    d.Label1->setText(QStringLiteral("Enter new path name:"));
    d.E_BrushName->setText(QStringLiteral("Path 1"));
    testhelpers::whenShown<TF_EditBrushName>([](TF_EditBrushName* shown) {
        EXPECT_EQ(shown->windowTitle(), ProgramVersionText());
        EXPECT_TRUE(shown->B_Ok->isEnabled());
        shown->E_BrushName->clear();
        EXPECT_FALSE(shown->B_Ok->isEnabled());
        // Enter on an empty edit does not confirm either.
        shown->B_Ok->click();
        EXPECT_TRUE(shown->isVisible());
        shown->E_BrushName->setText(QStringLiteral("Core west"));
        EXPECT_TRUE(shown->B_Ok->isEnabled());
        shown->B_Ok->click();
    });
    EXPECT_EQ(d.exec(), QDialog::Accepted);
    EXPECT_EQ(d.E_BrushName->text(), QStringLiteral("Core west"));
}
