// Where the demo finds the programs and modules it needs, beside tessera itself: installed
// (tessera, velregsvr and tessera-ca in one bin directory, the modules in its ../lib) or in the
// build tree it was built in.
#pragma once

#include <string>
#include <vector>

struct Installation {
    std::string velregsvr;
    std::string authority;  // tessera-ca
    std::vector<std::string> modules;
};

Installation findInstallation();

// The velregsvr command line that registers the modules found beside tessera or in its build tree
// (the module names alone when neither holds them).
std::string registrationCommand();
