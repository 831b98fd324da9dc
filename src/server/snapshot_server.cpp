#include "server/snapshot_server.h"

#include "app/snapshot_system.h"

namespace {
// The longest start_server waits for the server thread to report its set-up.
constexpr DWORD kSetupWait = 5000;
// How often a stop looks for a send confirmation to answer while it waits for the thread.
constexpr DWORD kConfirmationLookMilliseconds = 100;
}  // namespace

SnapshotServer::SnapshotServer()
    : stop_requested(true),
      serving_client(false),
      server_error(false),
      owner(nullptr),
      snapshot_size(0),
      setup_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      stop_signal(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    send_call = &::send;
    event_select_call = &::WSAEventSelect;
    create_copy_call = &::CreateFileA;
}

SnapshotServer::~SnapshotServer()
{
    stop_server_thread();
}

void SnapshotServer::set_owner(SnapshotSystem* new_owner)
{
    owner = new_owner;
    set_session_counter(0);
}

void SnapshotServer::start_server()
{
    // A second thread would go on serving unseen, and the first could outlive this object.
    if (thread.running()) return;
    server_error = false;
    ResetEvent(setup_done.get());
    xxCallback<void*, SnapshotServer> body(this, &SnapshotServer::serverThread);
    thread.set_callback(body);
    stop_requested = false;
    ResetEvent(stop_signal.get());
    if (!thread.start()) {
        // No thread, no server: shown as a failed start, not as one waiting for viewers.
        server_error = true;
        owner->write_bool("server_running", false);
        return;
    }
    // Wait for the outcome of the set-up instead of a fixed grace time, so that a slow failure
    // is never recorded as a running server.
    WaitForSingleObject(setup_done.get(), kSetupWait);
    owner->write_bool("server_running", !server_error);
}

void SnapshotServer::report_setup()
{
    SetEvent(setup_done.get());
}

void SnapshotServer::stop_server()
{
    stop_server_thread();
    owner->write_bool("server_running", false);
}

void SnapshotServer::stop_server_thread()
{
    stop_requested = true;
    SetEvent(stop_signal.get());
    // A send confirmation waits for a user who may be away: it is answered No, which sends
    // nothing, so that the stop keeps the bounds of the network time-outs. Looked for again
    // while the thread runs, since it may be about to show one.
    while (!thread.wait(kConfirmationLookMilliseconds)) refuse_confirmation(thread.id());
}

bool SnapshotServer::get_server_running() const
{
    return owner->read_bool("server_running", true);
}

bool SnapshotServer::has_server_error() const
{
    return server_error;
}

bool SnapshotServer::is_serving_client() const
{
    return serving_client;
}

std::string SnapshotServer::get_client_address() const
{
    xxScopedLock hold(&state_lock);
    return client_address;
}

void SnapshotServer::get_snapshot(std::shared_ptr<const unsigned char[]>& data, int32_t& size) const
{
    xxScopedLock hold(&state_lock);
    data = snapshot_data;
    size = snapshot_size;
}

void SnapshotServer::install_snapshot(std::shared_ptr<const unsigned char[]> data, int32_t size)
{
    xxScopedLock hold(&state_lock);
    snapshot_data = std::move(data);
    snapshot_size = size;
}
