#pragma once

class QString;

namespace common {

/// Whether the value of the control file's key "Papierkorb" asks to delete for good: a leading number of 0.
bool ForGoodAsked(const QString &value);

/// What the control file of a batch run asks for.
struct BatchRequests
{
    bool binary = false;
    bool age = false;
    bool synchronise = false;
    bool clipboard = false;
    bool end = false;
    bool trash = true; ///< what a synchronisation deletes or replaces goes to the trash ("Papierkorb")
};

} // namespace common
