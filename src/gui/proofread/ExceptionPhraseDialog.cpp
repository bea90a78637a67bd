#include "gui/proofread/ExceptionPhraseDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>

namespace {

QPushButton* endButton(const char* name, const QString& text, QKeySequence keys, const QString& tip,
                       QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setShortcut(keys);
    button->setToolTip(tip + QStringLiteral("（") + keys.toString(QKeySequence::NativeText) +
                       QStringLiteral("）"));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

ExceptionPhraseDialog::ExceptionPhraseDialog(const PhraseSpan& span, const QString& title,
                                             QWidget* parent)
    : QDialog(parent), span(span) {
    setObjectName(QStringLiteral("ExceptionPhraseDialog"));
    setWindowTitle(title);
    using Side = PhraseSpan::Side;
    phraseLabel = new QLabel(this);
    phraseLabel->setObjectName(QStringLiteral("phraseLabel"));
    phraseLabel->setAlignment(Qt::AlignCenter);
    phraseLabel->setTextFormat(Qt::PlainText);
    QFont larger = phraseLabel->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    phraseLabel->setFont(larger);

    leftOut = endButton("leftOutButton", QStringLiteral("← 左加一字"),
                        QKeySequence(Qt::ALT | Qt::Key_Left), QStringLiteral("左端加一个字"), this);
    leftIn = endButton("leftInButton", QStringLiteral("左减一字 →"),
                       QKeySequence(Qt::ALT | Qt::Key_Right), QStringLiteral("左端减一个字"), this);
    rightIn =
        endButton("rightInButton", QStringLiteral("← 右减一字"),
                  QKeySequence(Qt::CTRL | Qt::Key_Left), QStringLiteral("右端减一个字"), this);
    rightOut =
        endButton("rightOutButton", QStringLiteral("右加一字 →"),
                  QKeySequence(Qt::CTRL | Qt::Key_Right), QStringLiteral("右端加一个字"), this);
    connect(leftOut, &QPushButton::clicked, this, [this] { move(Side::Left, true); });
    connect(leftIn, &QPushButton::clicked, this, [this] { move(Side::Left, false); });
    connect(rightIn, &QPushButton::clicked, this, [this] { move(Side::Right, false); });
    connect(rightOut, &QPushButton::clicked, this, [this] { move(Side::Right, true); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(phraseLabel, 0, 0, 1, 4);
    layout->addWidget(leftOut, 1, 0);
    layout->addWidget(leftIn, 1, 1);
    layout->addWidget(rightIn, 1, 2);
    layout->addWidget(rightOut, 1, 3);
    layout->addWidget(buttons, 2, 0, 1, 4);
    setMinimumWidth(420);
    refresh();
}

void ExceptionPhraseDialog::move(PhraseSpan::Side side, bool outwards) {
    if (outwards)
        span.grow(side);
    else
        span.shrink(side);
    refresh();
}

void ExceptionPhraseDialog::refresh() {
    using Side = PhraseSpan::Side;
    phraseLabel->setText(span.marked());
    PhraseSpan probe = span;
    leftOut->setEnabled(probe.grow(Side::Left));
    probe = span;
    rightOut->setEnabled(probe.grow(Side::Right));
    leftIn->setEnabled(span.reach(Side::Left) > 0);
    rightIn->setEnabled(span.reach(Side::Right) > 0);
}
