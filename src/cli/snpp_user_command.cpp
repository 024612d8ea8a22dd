// tarvex-cli snpp-user: adds, removes and lists the logins of the SNPP and WCTP servers. The
// password is read from standard input (one line) so that it never shows in a process list
// or a shell history; only its libsodium hash is written.
#include "cli/arguments.h"
#include "cli/commands.h"
#include "network/intake/user_store.h"
#include "paging/station_folder.h"

#include <iostream>
#include <string>

namespace tarvex::cli {

namespace {

constexpr char Usage[] = "usage: tarvex-cli snpp-user add NAME | remove NAME | list";

UserStore loadStore(const std::string& path) {
    UserStore store;
    std::string error;
    if (!store.load(path, &error))
        throw OutputError("cannot read the logins: " + error);
    return store;
}

void saveStore(const UserStore& store, const std::string& path) {
    std::string error;
    if (!store.save(path, &error))
        throw OutputError("cannot write the logins: " + error);
    handOverToService(path);
}

std::string readPassword() {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty())
        throw UsageError("snpp-user add: an empty password is refused (give it on standard input)");
    return password;
}

} // namespace

int runSnppUser(const Args& args) {
    const std::string path = snppUsersPath();
    if (args.size() == 1 && args[0] == "list") {
        for (const auto& name : loadStore(path).names())
            std::cout << name << "\n";
        return 0;
    }
    if (args.size() != 2 || (args[0] != "add" && args[0] != "remove"))
        throw UsageError(Usage);
    const std::string& name = args[1];
    if (const auto bad = validateLoginName(name))
        throw UsageError("snpp-user: " + *bad);
    UserStore store = loadStore(path);
    if (args[0] == "remove") {
        if (!store.remove(name))
            throw UsageError("snpp-user remove: no login " + name + " in " + path);
        saveStore(store, path);
        std::cout << "login " << name << " removed from " << path << "\n";
        return 0;
    }
    const bool known = store.contains(name);
    std::string error;
    if (!store.setPassword(name, readPassword(), &error))
        throw UsageError("snpp-user add: " + error);
    saveStore(store, path);
    std::cout << (known ? "password of " : "login ") << name
              << (known ? " changed in " : " added to ") << path << "\n";
    return 0;
}

} // namespace tarvex::cli
