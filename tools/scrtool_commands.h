// One function per scrtool command: given the arguments after the command name, it prints its
// result and returns the process exit code (2 for a usage error).
#pragma once

