#include "client/protocol/read_ahead.h"

#include "client/protocol/message_layer.h"
#include "common/diagnostics.h"

namespace {

int send_row_request(ConnectionRecord* connection, char code) {
    if (code == 'R') {
        begin_request(connection, 'S', 2);
        connection->request[BLOCK_PAYLOAD] = 'R';
        connection->request[BLOCK_PAYLOAD + 1] = 0;
    } else {
        begin_request(connection, 'S', 1);
        connection->request[BLOCK_PAYLOAD] = code;
    }
    return send_request(connection, connection->request);
}

} // namespace

int request_row(ConnectionRecord* connection, char code) {
    if (connection->read_ahead <= 0) {
        if (ll_drain(connection) != 0) return -1;
        return send_row_request(connection, code);
    }
    // Replies to requests of the other kind are of no use: they are drained.
    if (connection->in_flight > 0 && connection->ahead_code != code) {
        if (ll_drain(connection) != 0) return -1;
    } else {
        int drained = drain_current_reply(connection);
        show_report(&connection->report); // before the requests' own traces
        if (drained != 0) return -1;
    }
    connection->ahead_code = code;
    // After the rows ended, requests go one at a time again, as without read-ahead.
    int depth = connection->ahead_stopped != 0 ? 1 : connection->read_ahead;
    while (connection->in_flight < depth) {
        if (send_row_request(connection, code) != 0) return -1;
        ++connection->in_flight;
    }
    // The oldest reply becomes the current one: no longer owed to the drain.
    --connection->in_flight;
    return 0;
}

void note_row_result(ConnectionRecord* connection, int result) {
    if (connection->read_ahead > 0 && result != 0) connection->ahead_stopped = 1;
}
