#pragma once
// Holds nothing: the program uses no shell tree or list controls. An
// object of it marks where the start-up code would need one, for as long
// as it lives.

class CShellManager {
public:
    CShellManager() = default;
    CShellManager(const CShellManager&) = delete;
    CShellManager& operator=(const CShellManager&) = delete;
};
