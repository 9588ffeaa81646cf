#ifndef RECEIVERSETTINGS_H
#define RECEIVERSETTINGS_H

#include <QSettings>

// The window's settings store, at user scope and under names of its own so that it does not
// depend on how the program was started (on Linux ~/.config/vezive/vezive-receiver.conf).
namespace ReceiverSettings {

inline constexpr char Organization[] = "vezive";
inline constexpr char Application[] = "vezive-receiver";

inline QSettings::Scope scope()
{
    return QSettings::UserScope;
}

} // namespace ReceiverSettings

#endif
