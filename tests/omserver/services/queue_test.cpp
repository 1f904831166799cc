// The waiting line of a full game server, polled as OMJoin polls it: state preset to -3,
// position to -1, third to 0 before each call.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

namespace services = omserver::services;

struct Poll {
  int32_t result;
  int32_t state;
  int32_t position;
};

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services::ServerConfig server;
    server.rid = 7;
    server.gsid = "full-server";
    server.fields = {{"queued", 1}};
    services::AddServer(host, server);
    services::ServerConfig open;
    open.rid = 8;
    open.gsid = "open-server";
    services::AddServer(host, open);
  }

  std::string enter() {
    omtest::SlotRequest request(host);
    char ticket[512];
    EXPECT_EQ(request.api()->QueueEnter(request.api(), ticket, sizeof ticket), 0) << request.notes();
    return ticket;
  }

  Poll poll(const std::string& ticket, int32_t rid = 7) {
    omtest::SlotRequest request(host);
    Poll answer{0, -3, -1};
    int32_t third = 0;
    answer.result = request.api()->QueuePoll(request.api(), ticket.c_str(), rid, &answer.state, &answer.position, &third);
    return answer;
  }

  int32_t cancel(const std::string& ticket, int32_t rid = 7) {
    omtest::SlotRequest request(host);
    return request.api()->QueueCancel(request.api(), ticket.c_str(), rid);
  }

  omtest::TempDir dir;
  omserver::Host host{dir.path()};
};

#define EXPECT_POLL(poll, expectedState, expectedPosition) \
  do {                                                     \
    Poll p = (poll);                                       \
    EXPECT_EQ(p.result, 0);                                \
    EXPECT_EQ(p.state, expectedState);                     \
    EXPECT_EQ(p.position, expectedPosition);               \
  } while (0)

TEST_F(QueueTest, PlayersWaitInOrderOfArrivalAndAreAdmittedFirstComeFirstServed) {
  std::string a = enter(), b = enter(), c = enter();
  EXPECT_NE(a, b);
  EXPECT_POLL(poll(a), 1, 1);
  EXPECT_POLL(poll(b), 1, 2);
  EXPECT_POLL(poll(c), 1, 3);
  EXPECT_POLL(poll(b), 1, 2);  // polling again keeps the place

  // One place frees up: only the first in line takes it.
  services::SetFreePlaces(host, 7, 1);
  EXPECT_POLL(poll(b), 1, 2);
  EXPECT_POLL(poll(a), 0, 0);
  EXPECT_POLL(poll(b), 1, 1);  // the place is taken; b is now first
  EXPECT_POLL(poll(c), 1, 2);

  // b gives up; c moves up. A test lets the head in without a free place.
  EXPECT_EQ(cancel(b), 0);
  EXPECT_POLL(poll(c), 1, 1);
  EXPECT_EQ(services::AdmitHead(host, 7), c);
  EXPECT_POLL(poll(c), 0, 0);
  EXPECT_FALSE(services::AdmitHead(host, 7).has_value());
}

TEST_F(QueueTest, AServerTheLineDoesNotKnowAnswersMinusOne) {
  std::string ticket = enter();
  EXPECT_EQ(poll(ticket, 99).state, -1);  // no such server
  EXPECT_EQ(poll(ticket, 8).state, -1);   // a server that does not queue
  EXPECT_POLL(poll(ticket), 1, 1);
  ASSERT_TRUE(services::RemoveServer(host, 7));
  EXPECT_EQ(poll(ticket).state, -1);  // the server is gone
}

TEST_F(QueueTest, AnEndedWaitAnswersMinusTwoOnceThenTheTicketMayQueueAgain) {
  std::string a = enter(), b = enter();
  EXPECT_POLL(poll(a), 1, 1);
  EXPECT_POLL(poll(b), 1, 2);
  ASSERT_TRUE(services::EndWait(host, a));
  EXPECT_EQ(poll(a).state, -2);
  EXPECT_POLL(poll(b), 1, 1);
  EXPECT_POLL(poll(a), 1, 2);  // a later conversation with the same cookie queues at the back
  EXPECT_FALSE(services::EndWait(host, "Q999999-00000000"));
}

TEST_F(QueueTest, APlayerWhoStopsPollingLosesTheirPlace) {
  host.setClock(100000);
  std::string a = enter(), b = enter();
  EXPECT_POLL(poll(a), 1, 1);
  EXPECT_POLL(poll(b), 1, 2);
  host.setClock(100000 + 60);
  EXPECT_POLL(poll(b), 1, 2);
  host.setClock(100000 + 121);  // a has not polled for more than the 120 seconds of the line
  EXPECT_POLL(poll(b), 1, 1);
  EXPECT_EQ(poll(a).state, -2);
}

TEST_F(QueueTest, AdmittedAndUnknownTicketsJoinTheLineAgain) {
  services::SetFreePlaces(host, 7, 1);
  std::string a = enter();
  EXPECT_POLL(poll(a), 0, 0);
  EXPECT_POLL(poll(a), 1, 1);  // the admission was used; no place is left
  // A ticket the line never issued (the data was reset) is taken in rather than locked out.
  EXPECT_POLL(poll("Q000123-ABCDEF01"), 1, 2);
  EXPECT_EQ(cancel("Q000777-00000000"), 0);
}

TEST_F(QueueTest, TicketsFitTheBufferOrAreRefused) {
  omtest::SlotRequest request(host);
  char small[8];
  std::memset(small, '#', sizeof small);
  EXPECT_LT(request.api()->QueueEnter(request.api(), small, 4), 0);
  EXPECT_EQ(small[0], '\0');
  for (int i = 4; i < 8; ++i) EXPECT_EQ(small[i], '#');
  EXPECT_FALSE(request.result.hostLog.empty());
  // A ticket is cookie-safe.
  for (char c : enter()) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-') << c;
}

TEST_F(QueueTest, GarbageTicketsAndPointersGetNoAnswer) {
  omtest::SlotRequest request(host);
  int32_t state = -3, position = -1, third = 0;
  const std::string longTicket(600, 'Q');
  for (const char* ticket : {static_cast<const char*>(nullptr), "", "a b", "x;y=1", longTicket.c_str()}) {
    EXPECT_LT(request.api()->QueuePoll(request.api(), ticket, 7, &state, &position, &third), 0);
    EXPECT_EQ(state, -3);
    EXPECT_EQ(position, -1);
  }
  std::string ticket = enter();
  EXPECT_LT(request.api()->QueuePoll(request.api(), ticket.c_str(), 7, nullptr, &position, &third), 0);
  EXPECT_LT(request.api()->QueuePoll(request.api(), ticket.c_str(), 7, &state, nullptr, &third), 0);
  EXPECT_EQ(request.api()->QueuePoll(request.api(), ticket.c_str(), 7, &state, &position, nullptr), 0);
  EXPECT_LT(request.api()->QueueCancel(request.api(), nullptr, 7), 0);
  EXPECT_GE(request.result.hostLog.size(), 8u);
}

TEST_F(QueueTest, SwitchesMakeTheLineFail) {
  std::string ticket = enter();
  for (const char* slot : {"QueueEnter", "QueuePoll", "QueueCancel"}) services::SetSlotFailing(host, slot, true);
  omtest::SlotRequest request(host);
  char buffer[64];
  int32_t state = -3, position = -1, third = 0;
  EXPECT_LT(request.api()->QueueEnter(request.api(), buffer, sizeof buffer), 0);
  EXPECT_LT(request.api()->QueuePoll(request.api(), ticket.c_str(), 7, &state, &position, &third), 0);
  EXPECT_EQ(state, -3);
  EXPECT_LT(request.api()->QueueCancel(request.api(), ticket.c_str(), 7), 0);
}

}  // namespace
