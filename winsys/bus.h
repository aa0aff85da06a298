#pragma once

// The session bus, for the window systems reached through it (KWin, GNOME):
// libsystemd loaded on first use, one connection per run, and every exchange
// bounded by a deadline on OsClock().

#include <systemd/sd-bus.h>

#include <cstdint>

#include "winsys/connect.h"

#define VANTREL_SD_BUS_FUNCTIONS(X) \
    X(sd_bus_add_object) \
    X(sd_bus_call) \
    X(sd_bus_close_unref) \
    X(sd_bus_error_free) \
    X(sd_bus_error_has_name) \
    X(sd_bus_error_set) \
    X(sd_bus_get_fd) \
    X(sd_bus_get_n_queued_write) \
    X(sd_bus_get_unique_name) \
    X(sd_bus_is_open) \
    X(sd_bus_is_ready) \
    X(sd_bus_message_append) \
    X(sd_bus_message_appendv) \
    X(sd_bus_message_enter_container) \
    X(sd_bus_message_exit_container) \
    X(sd_bus_message_get_member) \
    X(sd_bus_message_get_sender) \
    X(sd_bus_message_is_method_call) \
    X(sd_bus_message_new_method_call) \
    X(sd_bus_message_peek_type) \
    X(sd_bus_message_read) \
    X(sd_bus_message_read_basic) \
    X(sd_bus_message_set_auto_start) \
    X(sd_bus_message_set_expect_reply) \
    X(sd_bus_message_skip) \
    X(sd_bus_message_unref) \
    X(sd_bus_open_user) \
    X(sd_bus_process) \
    X(sd_bus_reply_method_return) \
    X(sd_bus_send) \
    X(sd_bus_wait) \
    X(sd_id128_randomize) \
    X(sd_id128_to_string)

// The functions of libsystemd the tool uses, once BusOpen has loaded them.
struct SdBus {
#define X(name) decltype(&::name) name;
    VANTREL_SD_BUS_FUNCTIONS(X)
#undef X
};
extern SdBus sd;

// What every window system on the bus asks first: a Wayland session, and
// its bus ready. ConnectDone then, with *bus set; else what the window
// system's connect step answers, *where saying what was missing. The bus is
// connected on the first call, within kAnswerMs; every later call gives the
// same answer, so that a bus that does not answer costs one deadline in a
// run (and standard error says so once).
ConnectResult BusConnect(sd_bus** bus, const char** where);

// As WindowSystem's wakeHandle and dispatch, for the bus.
int BusWakeHandle();
void BusDispatch();

// A method call that must not start anything, answered by the deadline; the
// reply, when one is wanted, is the caller's to unref. types and what follows
// are as for sd_bus_message_append; types may be null. Only the destination
// can answer: the bus passes on no other's reply. Fails with
//   -ETIMEDOUT   no answer by the deadline: the call may still be carried out;
//   -ENOTCONN    it never went out: the connection is closed, or nobody by
//                that name is on the bus;
//   -ECONNRESET  the connection, or the destination, went away before the
//                answer came: the call may have been carried out;
//   otherwise    the destination's error reply, in *error (which may be null).
int BusCall(std::uint64_t deadline, const char* destination, const char* path, const char* interface,
            const char* member, sd_bus_error* error, sd_bus_message** reply, const char* types, ...);

// Writes out what is queued to be sent, by the deadline.
void BusFlush(std::uint64_t deadline);
