// Per-section state of the effect types: made by init, kept until the program ends. The
// owner lives in static storage so that the records are released at exit.
#pragma once

#include <memory>
#include <vector>

template <typename T>
T* effect_data_new() {
    static std::vector<std::unique_ptr<T>> owner;
    owner.push_back(std::make_unique<T>());
    return owner.back().get();
}
