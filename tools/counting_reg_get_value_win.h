#pragma once
// Test stand-in for RegGetValueW: passes every call through to the system and
// counts them.
namespace standins {

int RegGetValueWCalls();
void ResetRegGetValueWCalls();

}  // namespace standins
