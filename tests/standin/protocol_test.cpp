// The stand-in on the wire, seen by a bare TDS client: bad input closes only the connection
// that sent it, and cancels, packet sizes, older TDS versions and the fault options behave as
// a server (or a failing server) would.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/standin_process.h"

namespace {

const std::string kTypes = std::string(VELMORA_TEST_DATA_DIR) + "/standin/types.json";
const std::string kData = std::string(VELMORA_TEST_DATA_DIR) + "/standin/";

constexpr uint8_t kBatch = 1, kAttention = 6, kTransaction = 14, kLogin7 = 16, kPrelogin = 18;
constexpr uint32_t kTds74 = 0x74000004, kTds71 = 0x71000001;

std::string le(uint64_t v, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

std::string ucs2(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::string packet(uint8_t type, const std::string& payload, uint8_t status = 1) {
  std::size_t length = payload.size() + 8;
  std::string header = {static_cast<char>(type),
                        static_cast<char>(status),
                        static_cast<char>(length >> 8),
                        static_cast<char>(length),
                        0,
                        0,
                        1,
                        0};
  return header + payload;
}

std::string prelogin() {
  // VERSION and ENCRYPTION (off), then the terminator.
  std::string options = {0, 0, 11, 0, 6, 1, 0, 17, 0, 1, static_cast<char>(0xFF)};
  return options + std::string(6, '\0') + std::string(1, '\0');
}

std::string login7(const std::string& user, const std::string& password,
                   const std::string& database, uint32_t version = kTds74,
                   uint32_t packetSize = 4096) {
  std::string encoded = ucs2(password);
  for (auto& c : encoded) {
    auto b = static_cast<uint8_t>(c);
    c = static_cast<char>((((b << 4) | (b >> 4)) & 0xFF) ^ 0xA5);
  }
  const std::vector<std::string> fields = {ucs2("host"), ucs2(user),  encoded,
                                           ucs2("test"), ucs2("srv"), "",
                                           ucs2("lib"),  "",          ucs2(database)};
  std::string fixed = le(version, 4) + le(packetSize, 4) + std::string(12, '\0') +
                      std::string(4, '\0') + std::string(8, '\0');
  std::string offsets, data;
  uint16_t offset = 94;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i == 5) {  // extension slot
      offsets += le(0, 4);
      continue;
    }
    offsets += le(offset, 2) + le(fields[i].size() / 2, 2);
    data += fields[i];
    offset = static_cast<uint16_t>(offset + fields[i].size());
  }
  offsets += std::string(6, '\0') + le(offset, 2) + le(0, 2) + le(offset, 2) + le(0, 2) +
             le(offset, 2) + le(0, 2) + le(0, 4);
  std::string body = fixed + offsets;
  body = le(4 + body.size() + data.size(), 4) + body + data;
  return body;
}

std::string sqlBatch(const std::string& text) {
  std::string headers = le(22, 4) + le(18, 4) + le(2, 2) + le(0, 8) + le(1, 4);
  return headers + ucs2(text);
}

struct Reply {
  std::string payload;
  std::size_t largestPacket = 0;
  std::size_t packets = 0;
  std::size_t shortPackets = 0;  // packets below the largest that were not the last
  uint16_t spid = 0;
};

class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect to the stand-in");
    }
  }
  ~RawClient() { ::close(fd_); }

  void send(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
  void closeWrite() { ::shutdown(fd_, SHUT_WR); }

  // One whole reply message; nullopt when the server closed the connection (or said nothing
  // for 5 s) first.
  std::optional<Reply> read() {
    Reply reply;
    for (;;) {
      std::string header;
      if (!readExactly(header, 8))
        return std::nullopt;
      std::size_t length = (static_cast<uint8_t>(header[2]) << 8) | static_cast<uint8_t>(header[3]);
      reply.spid = static_cast<uint16_t>((static_cast<uint8_t>(header[4]) << 8) |
                                         static_cast<uint8_t>(header[5]));
      std::string body;
      if (length < 8 || !readExactly(body, length - 8))
        return std::nullopt;
      if (reply.packets > 0 && lastLength_ < reply.largestPacket)
        ++reply.shortPackets;
      lastLength_ = length;
      reply.largestPacket = std::max(reply.largestPacket, length);
      ++reply.packets;
      reply.payload += body;
      if (header[1] & 1)
        return reply;
    }
  }

  bool readSome() {
    char buffer[4096];
    return ::recv(fd_, buffer, sizeof buffer, 0) > 0;
  }

  // True when the server ends the connection within 5 s, whatever it sends first.
  bool closedByServer() {
    char buffer[4096];
    for (;;) {
      ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n == 0)
        return true;
      if (n < 0)
        return errno == ECONNRESET;
    }
  }

  void login(const std::string& database, uint32_t version = kTds74, uint32_t packetSize = 4096) {
    send(packet(kPrelogin, prelogin()));
    ASSERT_TRUE(read());
    send(packet(kLogin7, login7("sa", "Standin#1", database, version, packetSize)));
    auto reply = read();
    ASSERT_TRUE(reply);
    ASSERT_NE(reply->payload.find('\xAD'), std::string::npos) << "no LOGINACK";
    loginReply_ = reply->payload;
  }
  const std::string& loginReply() const { return loginReply_; }

 private:
  bool readExactly(std::string& out, std::size_t n) {
    out.resize(n);
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::recv(fd_, out.data() + got, n - got, 0);
      if (r <= 0)
        return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

  int fd_ = -1;
  std::size_t lastLength_ = 0;
  std::string loginReply_;
};

// The status of the DONE token that ends a reply (13 bytes from TDS 7.2 on, 9 before).
uint16_t finalDoneStatus(const std::string& payload, uint32_t version = kTds74) {
  std::size_t size = version >= 0x72000000 ? 13 : 9;
  if (payload.size() < size || static_cast<uint8_t>(payload[payload.size() - size]) != 0xFD) {
    return 0xFFFF;
  }
  return static_cast<uint16_t>(static_cast<uint8_t>(payload[payload.size() - size + 1]) |
                               (static_cast<uint8_t>(payload[payload.size() - size + 2]) << 8));
}

void expectServesAGoodClient(const StandinProcess& server) {
  RawClient client(server.port());
  client.login("Types");
  client.send(packet(kBatch, sqlBatch("select * from NotNull")));
  auto reply = client.read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(finalDoneStatus(reply->payload), 0x0010);  // DONE_COUNT, final
}

TEST(StandinProtocol, BadInputClosesOnlyThatConnection) {
  StandinProcess server(kTypes);
  std::string goodLogin = packet(kLogin7, login7("sa", "Standin#1", "Types"));
  std::string loginPayload = login7("sa", "Standin#1", "Types");
  std::string fieldPastEnd = loginPayload;
  fieldPastEnd[36 + 4] = '\x00';  // user name offset far past the end
  fieldPastEnd[36 + 5] = '\x7F';
  std::string wrongLength = loginPayload;
  wrongLength[0] = static_cast<char>(wrongLength[0] + 10);
  struct Case {
    const char* what;
    std::string bytes;
    bool loginFirst;
  };
  const std::vector<Case> cases = {
      {"packet length below the header", std::string("\x12\x01\x00\x04\x00\x00\x00\x00", 8), false},
      {"packet length 65535", std::string("\x12\x01\xFF\xFF\x00\x00\x00\x00", 8) + "xx", false},
      {"PRELOGIN option past the end",
       packet(kPrelogin, std::string("\x00\x10\x00\x00\x06\xFF", 6)), false},
      {"PRELOGIN without terminator", packet(kPrelogin, std::string("\x00\x00\x05", 3)), false},
      {"LOGIN7 field past the end", packet(kLogin7, fieldPastEnd), false},
      {"LOGIN7 length that disagrees", packet(kLogin7, wrongLength), false},
      {"LOGIN7 cut short", packet(kLogin7, loginPayload.substr(0, 50)), false},
      {"SQL batch before the login", packet(kBatch, sqlBatch("select 1")), false},
      {"packets of two types in one message",
       packet(kLogin7, loginPayload.substr(0, 20), 0) + packet(kBatch, "xx"), false},
      {"SQL text of odd length", packet(kBatch, sqlBatch("select * from NotNull") + "x"), true},
      {"ALL_HEADERS longer than the message", packet(kBatch, le(5000, 4) + ucs2("select")), true},
      {"header inside ALL_HEADERS past its end",
       packet(kBatch, le(22, 4) + le(40, 4) + le(2, 2) + std::string(12, '\0')), true},
      {"unknown request type", packet(0x55, "abc"), true},
  };
  for (const auto& c : cases) {
    RawClient client(server.port());
    if (c.loginFirst)
      client.login("Types");
    client.send(c.bytes);
    EXPECT_TRUE(client.closedByServer()) << c.what;
  }
  // A packet cut short by a client that then goes away.
  {
    RawClient client(server.port());
    client.send(goodLogin.substr(0, 30));
    client.closeWrite();
    EXPECT_TRUE(client.closedByServer());
  }
  ASSERT_TRUE(server.running());
  expectServesAGoodClient(server);
}

TEST(StandinProtocol, AClientThatVanishesMidResultLeavesTheServerServing) {
  StandinProcess server(kTypes);
  for (int i = 0; i < 3; ++i) {
    RawClient client(server.port());
    client.login("Types");
    client.send(packet(kBatch, sqlBatch("select * from sales.Many")));
    EXPECT_TRUE(client.readSome());
  }  // the client closes with most of the rows unread
  ASSERT_TRUE(server.running());
  expectServesAGoodClient(server);
}

// The row count of the DONE that ends a TDS 7.2+ reply.
uint64_t finalDoneRows(const std::string& payload) {
  uint64_t rows = 0;
  for (int i = 0; i < 8; ++i) {
    rows |= uint64_t{static_cast<uint8_t>(payload[payload.size() - 8 + i])} << (8 * i);
  }
  return rows;
}

TEST(StandinProtocol, ServesSeveralClientsAtOnce) {
  StandinProcess server(kTypes);
  constexpr int kClients = 8;
  std::vector<uint64_t> rows(kClients, 0);
  std::vector<std::string> payloads(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([&, i] {
      RawClient client(server.port());
      client.login("Types");
      client.send(packet(kBatch, sqlBatch("select * from sales.Many")));
      if (auto reply = client.read()) {
        rows[i] = finalDoneRows(reply->payload);
        payloads[i] = std::move(reply->payload);
      }
    });
  }
  for (auto& t : threads)
    t.join();
  for (int i = 0; i < kClients; ++i) {
    EXPECT_EQ(rows[i], 20000u) << "client " << i;
    EXPECT_EQ(payloads[i], payloads[0]) << "generated rows must not depend on the connection";
  }
}

TEST(StandinProtocol, AttentionStopsALargeResult) {
  StandinProcess server(kTypes);
  RawClient client(server.port());
  client.login("Types");
  client.send(packet(kBatch, sqlBatch("select * from sales.Many")));
  client.send(packet(kAttention, ""));
  // Read until the DONE that acknowledges the cancel.
  bool acknowledged = false;
  for (int i = 0; i < 3 && !acknowledged; ++i) {
    auto reply = client.read();
    ASSERT_TRUE(reply);
    acknowledged = (finalDoneStatus(reply->payload) & 0x0020) != 0;
  }
  EXPECT_TRUE(acknowledged);
  // The connection serves on.
  client.send(packet(kBatch, sqlBatch("select * from NotNull")));
  auto reply = client.read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(finalDoneStatus(reply->payload), 0x0010);
}

TEST(StandinProtocol, RepliesAreSplitAtTheNegotiatedPacketSize) {
  StandinProcess server(kTypes);
  for (uint32_t size : {512u, 4096u, 32767u}) {
    RawClient client(server.port());
    client.login("Types", kTds74, size);
    // The ENVCHANGE packet-size token carries the agreed size as text.
    EXPECT_NE(client.loginReply().find(ucs2(std::to_string(size))), std::string::npos) << size;
    // A request split into packets of that size is joined again.
    std::string text = "select * from sales.Many" + std::string(3000, ' ');
    std::string payload = sqlBatch(text);
    std::size_t chunk = size - 8;
    for (std::size_t pos = 0; pos < payload.size(); pos += chunk) {
      client.send(packet(kBatch, payload.substr(pos, chunk), pos + chunk >= payload.size()));
    }
    auto reply = client.read();
    ASSERT_TRUE(reply) << size;
    EXPECT_EQ(reply->largestPacket, size);
    EXPECT_EQ(reply->shortPackets, 0u) << "only the last packet may be short";
    EXPECT_GE(reply->spid, 51);
    EXPECT_EQ(finalDoneStatus(reply->payload), 0x0010);
  }
}

TEST(StandinProtocol, AnswersAnOlderTdsVersionWithItsOwn) {
  StandinProcess server(kTypes);
  struct Case {
    uint32_t requested, answered;
  };
  for (auto c : {Case{kTds71, kTds71}, Case{0x72090002, 0x72090002}, Case{0x730B0003, 0x730B0003},
                 Case{0x75000000, kTds74}}) {
    RawClient client(server.port());
    client.login("Types", c.requested);
    std::string ack = client.loginReply().substr(client.loginReply().find('\xAD'));
    std::string version = {static_cast<char>(c.answered >> 24), static_cast<char>(c.answered >> 16),
                           static_cast<char>(c.answered >> 8), static_cast<char>(c.answered)};
    EXPECT_EQ(ack.substr(4, 4), version) << std::hex << c.requested;
    client.send(c.requested >= 0x72000000 ? packet(kBatch, sqlBatch("select * from AllTypes"))
                                          : packet(kBatch, ucs2("select * from AllTypes")));
    auto reply = client.read();
    ASSERT_TRUE(reply);
    EXPECT_EQ(finalDoneStatus(reply->payload, c.answered), 0x0010) << std::hex << c.requested;
  }
}

TEST(StandinProtocol, TransactionManagerRequests) {
  StandinProcess server(kTypes);
  RawClient client(server.port());
  client.login("Types");
  auto request = [&](uint16_t type, const std::string& body) {
    client.send(packet(kTransaction, sqlBatch("").substr(0, 22) + le(type, 2) + body));
    auto reply = client.read();
    return reply ? reply->payload : std::string();
  };
  constexpr uint16_t kBegin = 5, kCommit = 7, kRollback = 8;
  struct Case {
    const char* what;
    uint16_t type;
    std::string expectedStart;  // ENVCHANGE begin (8) / commit (9) / rollback (10), or ERROR
    uint16_t doneStatus;
  };
  const std::vector<Case> cases = {
      {"begin", kBegin, std::string("\xE3\x0B\x00\x08\x08", 5), 0},
      {"commit", kCommit, std::string("\xE3\x0B\x00\x09\x00\x08", 6), 0},
      {"commit without a transaction", kCommit, "\xAA", 0x0002},
      {"begin again", kBegin, std::string("\xE3\x0B\x00\x08\x08", 5), 0},
      {"rollback", kRollback, std::string("\xE3\x0B\x00\x0A\x00\x08", 6), 0},
  };
  for (const auto& c : cases) {
    std::string body(2, '\0');  // isolation level or name length, then flags
    std::string reply = request(c.type, body);
    EXPECT_EQ(reply.substr(0, c.expectedStart.size()), c.expectedStart) << c.what;
    EXPECT_EQ(finalDoneStatus(reply), c.doneStatus) << c.what;
  }
}

TEST(StandinProtocol, StatementLogHoldsTheExactTexts) {
  std::string logPath = ::testing::TempDir() + "standin_statements.log";
  std::remove(logPath.c_str());
  {
    StandinProcess server(kTypes, {"--statement-log", logPath});
    RawClient client(server.port());
    client.login("Types");
    for (const char* text : {"Select Name from SysDataBases where DBid>6\r\n",
                             "select * from [Order \"X\"]]]", "SET TEXTSIZE 2147483647"}) {
      client.send(packet(kBatch, sqlBatch(text)));
      ASSERT_TRUE(client.read());
    }
  }
  std::ifstream in(logPath);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"\"Select Name from SysDataBases where DBid>6\\r\\n\"",
                                             "\"select * from [Order \\\"X\\\"]]]\"",
                                             "\"SET TEXTSIZE 2147483647\""}));
}

// A server that requires encryption answers PRELOGIN with ENCRYPT_REQ and closes the
// connection of a client that then logs in without TLS.
TEST(StandinProtocol, RequiredEncryptionShutsOutAPlainLogin) {
  StandinProcess server(kTypes, {"--encryption", "required"});
  RawClient client(server.port());
  client.send(packet(kPrelogin, prelogin()));
  auto reply = client.read();
  ASSERT_TRUE(reply);
  // The ENCRYPTION option's offset is in the second entry of the option table.
  ASSERT_GE(reply->payload.size(), 10u);
  const std::size_t at =
      static_cast<uint8_t>(reply->payload[6]) << 8 | static_cast<uint8_t>(reply->payload[7]);
  ASSERT_LT(at, reply->payload.size());
  EXPECT_EQ(reply->payload[at], 3) << "ENCRYPT_REQ";
  client.send(packet(kLogin7, login7("sa", "Standin#1", "Types")));
  EXPECT_TRUE(client.closedByServer());
}

// The SQL Server Browser: the three requests that ask for an instance's port, answered as
// SVR_RESP; another instance's name gets no answer.
TEST(StandinBrowser, AnswersWithTheInstancesPort) {
  StandinProcess server(kTypes, {"--instance", "VELMORA", "--browser-port", "0"});
  const std::string line = server.readLine();
  ASSERT_TRUE(line.starts_with("browser on 127.0.0.1:")) << line;
  const int browserPort = std::stoi(line.substr(line.rfind(':') + 1));

  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  timeval timeout{0, 300000};  // loopback answers come at once
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(browserPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  const std::string entry = ";InstanceName;VELMORA;IsClustered;No;Version;15.0.2000.5;tcp;" +
                            std::to_string(server.port()) + ";;";
  const std::pair<std::string, bool> cases[] = {
      {std::string("\x04VELMORA\0", 9), true},  // CLNT_UCAST_INST
      {std::string("\x04velmora\0", 9), true},  // names compare without case
      {"\x03", true},                           // CLNT_UCAST_EX
      {"\x02", true},                           // CLNT_BCAST_EX
      {std::string("\x04SQLEXPRESS\0", 12), false},
  };
  for (const auto& [request, answered] : cases) {
    SCOPED_TRACE(request);
    ::send(fd, request.data(), request.size(), 0);
    char buffer[2048];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (!answered) {
      EXPECT_LT(n, 0);
      continue;
    }
    ASSERT_GT(n, 3);
    const std::string answer(buffer, static_cast<std::size_t>(n));
    EXPECT_EQ(answer[0], 0x05) << "SVR_RESP";
    EXPECT_EQ(static_cast<uint8_t>(answer[1]) | static_cast<uint8_t>(answer[2]) << 8, n - 3);
    EXPECT_TRUE(answer.substr(3).starts_with("ServerName;")) << answer;
    EXPECT_TRUE(answer.ends_with(entry)) << answer;
  }
  ::close(fd);
}

TEST(StandinFaults, CloseAfterRowsDropsTheConnectionMidResult) {
  StandinProcess server(kTypes);
  RawClient client(server.port());
  client.login("Types");
  client.send(packet(kBatch, sqlBatch("select * from Dropped")));
  EXPECT_FALSE(client.read()) << "the reply must end without its end-of-message packet";
  ASSERT_TRUE(server.running());
  expectServesAGoodClient(server);
}

TEST(StandinFaults, LoginDelayAndSilence) {
  {
    StandinProcess server(kData + "slow_login.json");
    RawClient client(server.port());
    client.send(packet(kPrelogin, prelogin()));
    ASSERT_TRUE(client.read());
    auto start = std::chrono::steady_clock::now();
    client.send(packet(kLogin7, login7("sa", "pw", "Shop")));
    ASSERT_TRUE(client.read());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
  }
  {
    StandinProcess server(kData + "silent.json");
    RawClient client(server.port());
    client.send(packet(kPrelogin, prelogin()));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.read());  // gives up after 5 s without an answer
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(server.running());
  }
}

TEST(StandinFixture, StartUpFailsWithAClearMessage) {
  struct Case {
    std::string file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"bad_type.json", "table 1 (T) column 2: unknown column type \"varchr(10)\""},
      {"bad_width.json", "table 1 (T) row 2 has 1 values for 2 columns"},
      {"bad_value.json", "row 1 column A: 256 is out of range"},
      {"bad_option.json", "\"login\" has an unknown key \"delay\""},
      {"bad_foreign_key.json",
       "table sales.T: a foreign key references the unknown table sales.Missing"},
      {"missing.json", "cannot read fixture"},
  };
  for (const auto& c : cases) {
    ProgramResult r =
        runProgram({StandinProcess::programPath(), "--fixture", kData + c.file, "--port", "0"}, "",
                   std::chrono::seconds(10));
    EXPECT_EQ(r.exitCode, 1) << c.file;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.file << ": " << r.err;
    EXPECT_EQ(r.out, "") << c.file;
  }
}

}  // namespace
