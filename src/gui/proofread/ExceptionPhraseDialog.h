#pragma once

#include <QDialog>

#include "proofread/ExceptionPhrase.h"

class QLabel;
class QPushButton;

// 加为例外: the proposed exception phrase, with the hit marked, which the user
// lengthens or shortens at either end within the document's line before
// taking it. Alt+← and Alt+→ move the left end, Ctrl+← and Ctrl+→ the right.
class ExceptionPhraseDialog : public QDialog {
    Q_OBJECT

  public:
    ExceptionPhraseDialog(const PhraseSpan& span, const QString& title, QWidget* parent = nullptr);

    QString phrase() const { return span.phrase(); }

  private:
    void move(PhraseSpan::Side side, bool outwards);
    void refresh();

    PhraseSpan span;
    QLabel* phraseLabel = nullptr;
    QPushButton* leftOut = nullptr;
    QPushButton* leftIn = nullptr;
    QPushButton* rightIn = nullptr;
    QPushButton* rightOut = nullptr;
};
