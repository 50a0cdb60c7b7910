// One line for a debugger (OutputDebugStringW) when something fails: which step, and why. Called
// on failure paths only, so work that succeeds costs exactly what it did before.
#pragma once

// "Piclade: <where> failed, error <error>".
void traceFailure(const wchar_t* where, unsigned long error);

// A line formatted like swprintf (strings as %ls), cut at 500 characters; "Piclade: " before it
// and a line end after it.
void trace(const wchar_t* format, ...);
