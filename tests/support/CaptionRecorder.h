#pragma once

#include <QEvent>
#include <QLabel>
#include <QObject>
#include <QStringList>

// A label's captions in the order they reached the screen: installed as an
// event filter, it reads the text at every paint.
class CaptionRecorder : public QObject {
  public:
    QStringList captions;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const QString text = static_cast<QLabel*>(watched)->text();
            if (captions.isEmpty() || captions.back() != text) captions << text;
        }
        return false;
    }
};
