// The station's network inputs, in the order they start and the status shows them. A new
// input is its own folder with its factory, and one line here.
#include "network/dapnet/dapnet_input.h"
#include "network/snpp/snpp_input.h"
#include "network/wctp/http_input.h"

namespace tarvex {

namespace {

constexpr InputFactory Inputs[] = {
    makeSnppInput,
    makeHttpInput,
    makeDapnetInput,
};

} // namespace

std::span<const InputFactory> registeredInputs() {
    return Inputs;
}

} // namespace tarvex
