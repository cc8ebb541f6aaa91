// Reads one data packet of the continuous stream per call, with a bounded
// wait, so the host regains control when the stream stops.
#ifndef MOTIONSTAR_PROTOCOL_DATA_READER_H
#define MOTIONSTAR_PROTOCOL_DATA_READER_H

#include <cstdint>

#include "net/socket.h"
#include "protocol/packet.h"

class DataPacketReader {
 public:
  // Places at most requested bytes of one packet in buffer and returns how
  // many; 0 when nothing arrived (the wait ended, a datagram came from
  // another address, the peer closed); negative when the socket failed (it
  // has reported why).
  //
  // UDP: one datagram. TCP: the header, then exactly the header's byte
  // count, across as many receives as it takes; bytes past requested are
  // read and dropped. A wait that ends inside a packet keeps what arrived,
  // and the next call (with the same buffer) completes that packet.
  int32_t read(CSocketH& socket, uint8_t* buffer, int32_t requested);

 private:
  int32_t readDatagram(CSocketH& socket, uint8_t* buffer, int32_t requested);
  int32_t readFramed(CSocketH& socket, uint8_t* buffer, size_t room);

  // The packet in progress on a stream.
  uint8_t header[proto::kHeaderBytes] = {};
  uint32_t headerFill = 0;
  uint32_t bodyTotal = 0;
  uint32_t bodyFill = 0;
};

#endif  // MOTIONSTAR_PROTOCOL_DATA_READER_H
