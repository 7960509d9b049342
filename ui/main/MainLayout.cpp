// SPDX-License-Identifier: MIT
#include "ui/main/MainLayout.h"

#include "ui/main/CanvasWidget.h"

#include <QWidget>

#include <array>

namespace zaplo {

namespace {

enum class M { Fixed, Text, Left, Top, Width, Height, Right, Bottom, InnerRight, InnerBottom };
struct Rule {
    M measure = M::Fixed;
    const char* szControl = nullptr;
    int nOffset = 0;
};
struct Row {
    const char* szName;
    Rule left, top, width, height;
};

constexpr Rule At(int v) {
    return {M::Fixed, nullptr, v};
}
constexpr Rule Of(const char* control, M measure, int offset = 0) {
    return {measure, control, offset};
}
constexpr Rule kText{M::Text, nullptr, 0};

// The chat input's top is the chat box's height + 10, not its bottom edge; the separators run
// 480 pixels down, past the client area's bottom edge; the custom boxes touch each other.
constexpr std::array<Row, 30> kRows{{
    {"txtChatBox", At(5), At(5), At(200), At(395)},
    {"txtChatSend", Of("txtChatBox", M::Left), Of("txtChatBox", M::Height, 10),
     Of("txtChatBox", M::Width, 150 + 10), At(19)},
    {"listUsers", Of("txtChatBox", M::Right, 10), Of("txtChatBox", M::Top, 15), At(150), At(290)},
    {"lblUserList", Of("listUsers", M::Left), At(5), kText, kText},
    {"txtStatus", Of("listUsers", M::Left), Of("listUsers", M::Bottom, 5 + 15),
     Of("listUsers", M::Width), At(70)},
    {"lblStatus", Of("txtStatus", M::Left), Of("txtStatus", M::Top, -15), kText, kText},
    {"Line1_0", Of("txtChatBox", M::Right, 7), At(5), At(1), At(480)},
    {"Line1_1", Of("listUsers", M::Right, 7), At(5), At(1), At(480)},
    {"picCanvas", Of("listUsers", M::Right, 12), At(20), At(CanvasWidget::kOuterWidth),
     At(CanvasWidget::kOuterHeight)},
    {"lblDraw", Of("picCanvas", M::Left), At(5), kText, kText},
    {"btnClear", Of("picCanvas", M::Left), Of("picCanvas", M::InnerBottom, 5), At(73), At(25)},
    {"picCol_0", Of("btnClear", M::Right, 2), Of("picCanvas", M::InnerBottom, 5), At(20), At(20)},
    {"picCol_8", Of("picCol_0", M::Left), Of("picCol_0", M::InnerBottom, 1), At(20), At(20)},
    {"picCol_1", Of("picCol_0", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_2", Of("picCol_1", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_3", Of("picCol_2", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_4", Of("picCol_3", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_5", Of("picCol_4", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_6", Of("picCol_5", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_7", Of("picCol_6", M::InnerRight, 2), Of("picCol_0", M::Top), At(20), At(20)},
    {"picCol_9", Of("picCol_8", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_10", Of("picCol_9", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_11", Of("picCol_10", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_12", Of("picCol_11", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_13", Of("picCol_12", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_14", Of("picCol_13", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"picCol_15", Of("picCol_14", M::InnerRight, 2), Of("picCol_8", M::Top), At(20), At(20)},
    {"txtclrCustom_0", Of("picCanvas", M::Left), Of("btnClear", M::Bottom, 5), At(25), At(19)},
    {"txtclrCustom_1", Of("txtclrCustom_0", M::Right), Of("btnClear", M::Bottom, 5), At(25),
     At(19)},
    {"txtclrCustom_2", Of("txtclrCustom_1", M::Right), Of("btnClear", M::Bottom, 5), At(25),
     At(19)},
}};

QWidget* Control(QWidget& area, const char* name) {
    QWidget* control =
        area.findChild<QWidget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    Q_ASSERT_X(control != nullptr, "MainLayout", name);
    return control;
}

// The inner size of a control is its size inside its border.
int Value(QWidget& area, const Rule& rule) {
    if (rule.szControl == nullptr) {
        return rule.nOffset;
    }
    const QWidget* c = Control(area, rule.szControl);
    const QRect inner = c->contentsRect();
    switch (rule.measure) {
    case M::Left:
        return c->x() + rule.nOffset;
    case M::Top:
        return c->y() + rule.nOffset;
    case M::Width:
        return c->width() + rule.nOffset;
    case M::Height:
        return c->height() + rule.nOffset;
    case M::Right:
        return c->x() + c->width() + rule.nOffset;
    case M::Bottom:
        return c->y() + c->height() + rule.nOffset;
    case M::InnerRight:
        return c->x() + inner.width() + rule.nOffset;
    case M::InnerBottom:
        return c->y() + inner.height() + rule.nOffset;
    case M::Fixed:
    case M::Text:
        break;
    }
    return rule.nOffset;
}

} // namespace

void MainLayout::Apply(QWidget& area) {
    for (const Row& row : kRows) {
        QWidget* control = Control(area, row.szName);
        if (row.width.measure == M::Text) {
            control->adjustSize(); // a label's size follows its text
        }
        const int width = row.width.measure == M::Text ? control->width() : Value(area, row.width);
        const int height =
            row.height.measure == M::Text ? control->height() : Value(area, row.height);
        control->setGeometry(Value(area, row.left), Value(area, row.top), width, height);
    }
}

} // namespace zaplo
