// InsertStatTicket: the statistics ticket of a Stat join, a row that carries a random
// ticket value for the account, player, product family and time. Its id and value go to
// the game server as the cookies "OMTI" and "OMTV" on the service's own servers.
#include "db_step.h"
#include "join_page.h"
#include "join_tables.h"
#include "replies.h"

namespace omjoin {

int32_t InsertStatTicket(JoinPage& page) {
  page.statTicketId = 0;
  page.statTicketValue = 0;
  // Without a statistics ticket database for this request the join goes on without one.
  om::DbStep step(page, kStatTicketDatabase, kInsertStatTicketTag, om::DbOpenRule::NoStatisticsDatabaseGoesOn);
  if (step.absent()) return 0;
  if (!step.ok()) return om::kFailed;

  HostApi* api = page.api;
  const int32_t value = api->RandomRange(api, 1, kStatTicketValueMax);
  const long miscFlags = page.pfid2 > 0 ? 1 : 0;
  step.append(kInsertStatTicket, static_cast<long>(value), static_cast<long>(page.login.AccountId),
              static_cast<long>(page.pfid), om::Quoted(page.handle).text(), static_cast<long>(page.login.CharacterId),
              om::Quoted(page.login.CharacterName).text(), miscFlags);
  if (!step.execute() || !step.nextResult() || !step.nextResult()) return om::kFailed;
  int32_t id;
  step.bindInt(&id);
  const int32_t rows = step.fetchAll();
  step.release();
  if (rows == 0) return om::FailCode(page, CodeNoStatTicketRow);
  page.statTicketValue = value;
  page.statTicketId = id;
  return 0;
}

}  // namespace omjoin
