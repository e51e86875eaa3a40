// Any text read as a keyfile gives a UUID or none, and a UUID only for a
// connection. A keyfile that portauth-cli writes, from any name and identity
// it accepts, reads back by GLib's rules (NetworkManager's) with the UUID it
// was given, and with its name, identity and password unchanged. A failed
// check aborts, and the fuzzer reports the line.

#include "formats.h"
#include "keyfile.h"
#include "plain_text.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <glib.h>

#include <algorithm>
#include <cassert>
#include <string>

namespace {

using namespace portauth::cli;

std::string ValueIn(const std::string& text, const char* group, const char* key)
{
    g_autoptr(GKeyFile) keyfile = g_key_file_new();
    g_key_file_load_from_data(keyfile, text.data(), text.size(), G_KEY_FILE_NONE, nullptr);
    g_autofree gchar* value = g_key_file_get_string(keyfile, group, key, nullptr);
    return value != nullptr ? value : "(none)";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const KeyfileIdentity anyText = ReadKeyfile(text);
    assert(anyText.isConnection || !anyText.uuid);

    // Only what the command line lets through: a plain-text name, and an
    // identity NetworkManager can send.
    FuzzedDataProvider input(data, size);
    const std::string uuid = "0f0e0d0c-0b0a-4908-8706-050403020100";
    WiredProfile profile;
    profile.name = input.ConsumeRandomLengthString(64);
    profile.identity = input.ConsumeRandomLengthString(64);
    profile.password = Hex(input.ConsumeBytesAsString(16));
    const auto printableAscii = [](char c) { return c >= ' ' && c < 0x7F; };
    if (profile.name.empty() || !IsPlainText(profile.name) || !std::ranges::all_of(profile.identity, printableAscii))
        return -1;

    const std::string written = NetworkManagerKeyfile(profile, uuid);
    const KeyfileIdentity read = ReadKeyfile(written);
    assert(read.isConnection && read.uuid == uuid);
    assert(ValueIn(written, "connection", "id") == profile.name);
    assert(ValueIn(written, "802-1x", "identity") == profile.identity);
    assert(ValueIn(written, "802-1x", "password") == profile.password);
    return 0;
}
