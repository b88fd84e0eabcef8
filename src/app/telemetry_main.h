#pragma once

// Builds the whole report document in memory and writes it to standard output
// in one piece. Exceptions from the sections are not caught here.
int telemetryMain();
