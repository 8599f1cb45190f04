// The D-Bus interface of ControlService as QtDBus exports it: its methods and properties map
// one to one onto the service's requests and values.
#pragma once

#include "platform/session/control_service.h"

#include <QDBusAbstractAdaptor>

namespace platform::session {

class ControlAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kestrane.kestrane.Control")
    Q_PROPERTY(bool Running READ Running)
    Q_PROPERTY(bool Visible READ Visible)
    Q_PROPERTY(QString Quiet READ Quiet)
    Q_PROPERTY(QString FlashPath READ FlashPath)
  public:
    explicit ControlAdaptor(ControlService* service)
        : QDBusAbstractAdaptor(service), service_(service) {}

    bool Running() const { return service_->Running(); }
    bool Visible() const { return service_->Visible(); }
    QString Quiet() const { return service_->Quiet(); }
    QString FlashPath() const { return QString::fromStdString(service_->FlashPath()); }

  public slots:
    void Start() { service_->Request(&ControlHandlers::start); }
    void Stop() { service_->Request(&ControlHandlers::stop); }
    void Toggle() { service_->Request(&ControlHandlers::toggle); }
    void Show() { service_->Request(&ControlHandlers::show); }
    void Hide() { service_->Request(&ControlHandlers::hide); }
    void Quit() { service_->Request(&ControlHandlers::quit); }
    void Activate() { service_->Request(&ControlHandlers::activate); }
    void Pause(int minutes) { service_->RequestPause(minutes); }

  private:
    ControlService* service_;
};

}  // namespace platform::session
