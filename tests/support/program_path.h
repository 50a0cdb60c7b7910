// The program built beside the tests: app\Piclade.exe in the build folder, whose tests\ folder
// holds the running test.
#pragma once

#include <string>
#include <windows.h>

inline std::wstring builtProgramPath()
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self);
    program.resize(program.rfind(L'\\'));
    program.resize(program.rfind(L'\\') + 1);
    return program + L"app\\Piclade.exe";
}
