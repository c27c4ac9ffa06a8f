#pragma once

// Made-up chat logs that look like a busy evening in the chat world: public
// chatter, the world's "<system>" notices, private lines both ways, about one
// machinekeeper message in a hundred lines and now and then a pasted line of
// several KB. The same size always gives the same log.

#include <QByteArray>

namespace jackwell::bench {

// The log's lines joined by CR LF, no empty line. `bytes` is their size, give
// or take one line.
QByteArray makeChatLines(qsizetype bytes);

} // namespace jackwell::bench
