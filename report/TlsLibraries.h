#pragma once
// The TLS libraries of the mail, checked once at start-up: only the copies
// that come with the program may be in use.
namespace orvella {

// Raises Exception naming a TLS library that is missing or was loaded from
// anywhere but the program's own folder.
void CheckTlsLibraries();

}  // namespace orvella
