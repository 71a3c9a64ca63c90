// A callback takes no arguments, so a test needs one function per channel:
// perChannelCallbacks<Callback>() gives &Callback<0>::call to &Callback<7>::call.
#pragma once

#include <array>
#include <utility>

#include "zolt.h"

namespace zolt_test {

template <template <int> class Callback, int... Channels>
constexpr std::array<NotifyCallback, sizeof...(Channels)> callbacksFor(std::integer_sequence<int, Channels...>) {
    return {&Callback<Channels>::call...};
}

template <template <int> class Callback>
constexpr std::array<NotifyCallback, ZOLT_CHANNEL_COUNT> perChannelCallbacks() {
    return callbacksFor<Callback>(std::make_integer_sequence<int, ZOLT_CHANNEL_COUNT>{});
}

}  // namespace zolt_test
