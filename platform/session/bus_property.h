// One property of a service on the session bus, followed: read at Start and whenever the
// service appears, then through PropertiesChanged (heard from any sender: a service that takes
// its name only after this program started is not yet known by its owner here). A service that
// leaves, is missing, slow or errs, or has no such property, gives an invalid value; an answer
// older than a change seen meanwhile is dropped. Nothing waits: every question is asynchronous.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

namespace platform::session {

class BusProperty : public QObject {
    Q_OBJECT
  public:
    BusProperty(QString service, QString path, QString interface, QString name,
                QObject* parent = nullptr);

    // Starts following, once; without a session bus nothing is ever reported.
    void Start();

  signals:
    void Changed(const QVariant& value);

  private slots:
    void OnProperties(const QString& interface, const QVariantMap& changed,
                      const QStringList& invalidated);

  private:
    void Ask();

    const QString service_, path_, interface_, name_;
    int reports_ = 0;  // changes seen, so that an older answer is not applied
    bool started_ = false;
};

}  // namespace platform::session
