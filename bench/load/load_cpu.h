#pragma once

#include <QtGlobal>

namespace jackwell::load {

// The processor time processes have spent, as the kernel counts it in /proc (user and system
// time, in milliseconds).
namespace cpu {

// Process `pid` alone; 0 when it is gone.
qint64 ofProcess(qint64 pid);
// Process `pid` with its children: those still running, and those it has waited for (a server
// that forks a process for each connection, as PostgreSQL does).
qint64 withChildren(qint64 pid);
// This program.
qint64 ofSelf();

} // namespace cpu
} // namespace jackwell::load
