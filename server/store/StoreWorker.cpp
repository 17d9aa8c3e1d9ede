#include "StoreWorker.h"

namespace quorlan::server {

StoreWorker::StoreWorker(asio::io_context& loop, std::unique_ptr<IStore> store)
    : loop_(loop), store_(std::move(store)) {}

StoreWorker::~StoreWorker() { Stop(); }

// The pool's thread ends once it has run out of jobs.
void StoreWorker::Stop() { pool_.join(); }

} // namespace quorlan::server
