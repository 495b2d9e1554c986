#pragma once

namespace common {

/// What the control file of a batch run asks for.
struct BatchRequests
{
    bool binary = false;
    bool age = false;
    bool synchronise = false;
    bool clipboard = false;
    bool end = false;
};

} // namespace common
