#include "mdcgen/demo_traffic.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "mdcgen/record_composer.h"

namespace mdcgen {
namespace {

constexpr double kMinPause = 1.0;
constexpr double kMaxPause = 6.0;
// Continuation records that follow at once, often within one receiver call.
constexpr double kCloseMin = 0.08;
constexpr double kCloseMax = 0.3;
constexpr double kClockStart = 14 * 3600 + 32 * 60 + 5;
constexpr int kMaxRefusals = 8;
// Events that cannot happen now (no free unit, say) are drawn again; this many in a row end it.
constexpr int kMaxMisses = 1000;

enum class Role { kPolice, kMedic, kEngine };
enum class Status { kAvailable, kDispatched, kEnroute, kOnScene };

struct Terminal {
  uint16_t address;
  std::string_view call_sign;
  Role role;
  // How this terminal's own radio frames what it sends.
  TrailerKind trailer;
  size_t filler;
};

constexpr std::array<Terminal, 8> kTerminals = {{
    {0x1207, "2A12", Role::kPolice, TrailerKind::kCounted, 0},
    {0x1231, "2A31", Role::kPolice, TrailerKind::kCounted, 0},
    {0x1302, "3B02", Role::kPolice, TrailerKind::kMarked, 0},
    {0x4416, "K9-16", Role::kPolice, TrailerKind::kCounted, 6},
    {0x5023, "SGT23", Role::kPolice, TrailerKind::kMarked, 0},
    {0x2144, "M44", Role::kMedic, TrailerKind::kCounted, 6},
    {0x2158, "M58", Role::kMedic, TrailerKind::kCounted, 0},
    {0x3090, "E9", Role::kEngine, TrailerKind::kMarked, 0},
}};
constexpr uint16_t kAllCall = 0xFFFF;
constexpr uint16_t kHost = 0x0001;

enum Kind : uint8_t {
  kDispatch = 1,
  kStatus,
  kStatusConfirm,
  kQuery,
  kReply,
  kTextMessage,
  kBulletin,
  kKeyDownload,
  kAck,
};
constexpr uint8_t kInbound = 0x01;
constexpr uint8_t kOutbound = 0x10;

struct IncidentType {
  std::string_view name;
  Role role;
  int priority;
  std::array<std::string_view, 2> notes;
};

constexpr std::array<IncidentType, 14> kIncidents = {{
    {"ALARM COMMERCIAL BURGLARY",
     Role::kPolice,
     2,
     {"ZONE 3 REAR DOOR MOTION", "NO KEYHOLDER RESPONDING"}},
    {"TRAFFIC COLLISION NON-INJ",
     Role::kPolice,
     3,
     {"2 VEH BLOCKING NB LANE", "DRIVERS EXCHANGING INFO"}},
    {"DISTURBANCE LOUD PARTY",
     Role::kPolice,
     3,
     {"MUSIC AND YELLING IN BACKYARD", "3RD CALL TONIGHT"}},
    {"SUSPICIOUS VEHICLE",
     Role::kPolice,
     3,
     {"WHT VAN PARKED 2 HRS, 2 OCC", "RP UNABLE TO SEE PLATE"}},
    {"WELFARE CHECK", Role::kPolice, 2, {"ELDERLY RESIDENT NOT SEEN 2 DAYS", "MAIL PILED AT DOOR"}},
    {"SHOPLIFTER IN CUSTODY",
     Role::kPolice,
     3,
     {"LOSS PREV HOLDING 1 ADULT MALE", "COOPERATIVE, NO WEAPONS SEEN"}},
    {"RECKLESS DRIVER", Role::kPolice, 2, {"BLK SEDAN WEAVING, HIGH SPEED", "LAST SEEN EB"}},
    {"BURGLARY RESIDENTIAL COLD",
     Role::kPolice,
     4,
     {"RP RETURNED HOME, SIDE DOOR OPEN", "TV AND LAPTOP MISSING"}},
    {"MEDICAL CHEST PAIN",
     Role::kMedic,
     1,
     {"62 YOM, CONSCIOUS, BREATHING", "HX CARDIAC, TOOK NITRO X1"}},
    {"FALL VICTIM", Role::kMedic, 2, {"81 YOF FELL IN KITCHEN", "HIP PAIN, UNABLE TO STAND"}},
    {"DIFFICULTY BREATHING", Role::kMedic, 1, {"34 YOF, HX ASTHMA", "INHALER NOT HELPING"}},
    {"SMOKE INVESTIGATION", Role::kEngine, 2, {"LIGHT SMOKE FROM ROOF VENT", "OCCUPANTS OUTSIDE"}},
    {"VEHICLE FIRE", Role::kEngine, 1, {"CAR ON FIRE IN PARKING LOT", "NO EXPOSURES REPORTED"}},
    {"FIRE ALARM COMMERCIAL",
     Role::kEngine,
     2,
     {"GENERAL ALARM, PULL STATION 2ND FL", "BUILDING EVACUATING"}},
}};

struct Location {
  std::string_view address;
  std::string_view cross;
};

constexpr std::array<Location, 12> kLocations = {{
    {"1400 BLK HARBOR RD", "PIER AVE / CANNERY WAY"},
    {"88 ELM CT", "ELM ST / DEAD END"},
    {"2231 W MAIN ST", "5TH AVE / 6TH AVE"},
    {"500 CANNERY WAY", "HARBOR RD / DOCK ST"},
    {"17 LOOKOUT TER", "RIDGE DR / SUMMIT LN"},
    {"3300 FAIRVIEW AVE #B", "LINCOLN BLVD / ORCHARD ST"},
    {"9 QUARRY LN", "QUARRY RD / MILL CREEK DR"},
    {"760 BAYSIDE DR #12", "SHORE AVE / GULL ST"},
    {"MAIN ST / 5TH AVE", "INTERSECTION"},
    {"4120 INDUSTRIAL PKWY", "RAIL SPUR RD / DEPOT ST"},
    {"221 N ORCHARD ST", "PINE ST / WALNUT ST"},
    {"FAIRVIEW MALL, LOT C", "FAIRVIEW AVE / MALL RING RD"},
}};

constexpr std::array<std::string_view, 8> kCallers = {
    "ALARM CO OP 4471 CB 555-0142",   "NEIGHBOR, ANON",
    "KOWALSKI, ANNA CB 555-0178",     "PASSERBY CB 555-0121",
    "OKAFOR, DAVID CB 555-0193",      "MGR ON DUTY CB 555-0166",
    "DAUGHTER, BY PHONE CB 555-0109", "BRENNAN, TOM CB 555-0150",
};

constexpr std::array<std::string_view, 8> kNames = {
    "HOLLOWAY, JUNE M",  "MARTINEZ, DANIEL R", "PRICE, CALVIN T",     "NGUYEN, LINH T",
    "ABERNATHY, ROSS W", "SOKOLOVA, IRINA",    "WASHINGTON, TERRELL", "DUBOIS, CLAIRE A",
};

constexpr std::array<std::string_view, 8> kVehicles = {
    "2016 TOYT CAMRY 4D GRY",  "2011 FORD F150 PK BLU",    "2019 HOND CIVIC 4D WHI",
    "2008 CHEV IMPALA 4D BLK", "2021 TESL MODEL 3 RED",    "2004 DODG CARAVAN VN GRN",
    "2014 NISS ALTIMA 4D SIL", "2017 SUBA OUTBACK SW BRO",
};

constexpr std::array<std::string_view, 8> kStreets = {
    "2218 OLIVE ST APT 4", "45 SHORE AVE",   "1301 LINCOLN BLVD", "612 GULL ST",
    "7 MILL CREEK DR",     "980 ORCHARD ST", "3150 RIDGE DR",     "44 DOCK ST #2",
};

constexpr std::array<std::string_view, 6> kDispositions = {
    "REPORT TAKEN", "ADVISED", "GONE ON ARRIVAL", "TRANSPORTED", "NO ACTION NEEDED", "CITED",
};

constexpr std::array<std::string_view, 9> kUnitTexts = {
    "MEET AT STATION 3 AFTER THIS CALL",
    "CAN YOU COVER MY BEAT FOR 20 MIN",
    "SUSPECT VEH LAST SEEN EB ON FAIRVIEW\rBLK SEDAN, PARTIAL 7XB",
    "NEED A TRANSLATOR, SPANISH, AT MY LOC",
    "COFFEE AT THE YARD WHEN YOU CLEAR?",
    "HEADED TO THE HOSPITAL WITH ARRESTEE",
    "WATCH FOR RED PICKUP ON HARBOR RD\rDRIVER MAY BE DUI",
    "I HAVE THE REPORT, YOU CAN CLEAR",
    "CHECK YOUR EMAIL FOR THE LINEUP",
};

constexpr std::array<std::string_view, 5> kUnitReplies = {
    "10-4", "COPY, ON MY WAY", "NEGATIVE, STILL TIED UP", "WILL DO", "THANKS",
};

constexpr std::array<std::string_view, 6> kDispatcherTexts = {
    "CALL YOUR SERGEANT ON HIS CELL",
    "SHIFT BRIEFING MOVED TO 1600, ROOM 2",
    "RP AT 88 ELM CT CALLED BACK,\rDOG IS NOW CONTAINED",
    "TOW ENROUTE TO YOUR LOC, ETA 20 MIN",
    "FUEL CARD FOR YOUR UNIT IS AT FRONT DESK",
    "RETURN VEHICLE TO YARD BY 1900\rFOR SERVICE",
};

struct UnitState {
  Status status = Status::kAvailable;
  std::string call;
  std::string location;
};

struct World {
  std::array<UnitState, kTerminals.size()> units;
  std::map<uint16_t, uint8_t> sequences;
  uint16_t message_number = 0x0412;
  int call_number = 31877;
  double clock = 0.0;  // seconds since the start of the recording
  double last_bulletin = -1e9;
};

struct Piece {
  Bytes frame;
  double gap_before;
};
using Pieces = std::vector<Piece>;

double Uniform(std::mt19937_64& engine) { return (engine() >> 11) * 0x1.0p-53; }
double Between(std::mt19937_64& engine, double low, double high) {
  return low + (high - low) * Uniform(engine);
}
bool Chance(std::mt19937_64& engine, double p) { return Uniform(engine) < p; }
template <class Table>
auto Pick(std::mt19937_64& engine, const Table& table) {
  return table[engine() % table.size()];
}
double Pause(std::mt19937_64& engine) { return Between(engine, kMinPause, kMaxPause); }

// The screen language: cursor, attributes, repeats.
std::string Cursor(int row, int column) {
  return "\x1b[" + std::to_string(row) + ";" + std::to_string(column) + "H";
}
std::string Reverse(std::string_view text) { return "\x1b[7m" + std::string(text) + "\x1b[0m"; }
std::string Blink(std::string_view text) { return "\x1b[5m" + std::string(text) + "\x1b[0m"; }
// A full 40-column line of `c`.
std::string Rule(char c) { return std::string(1, c) + "\x1b[39b"; }

std::string Clock(double seconds, bool with_seconds) {
  const long total = static_cast<long>(kClockStart + seconds) % 86400;
  char text[16];
  if (with_seconds) {
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%02ld:%02ld", total / 3600, total / 60 % 60);
  }
  return text;
}

std::string Plate(std::mt19937_64& engine) {
  std::string plate = std::to_string(1 + engine() % 9);
  for (int i = 0; i < 3; ++i) plate += static_cast<char>('A' + engine() % 26);
  for (int i = 0; i < 3; ++i) plate += static_cast<char>('0' + engine() % 10);
  return plate;
}

std::string Vin(std::mt19937_64& engine) {
  static constexpr std::string_view kChars = "0123456789ABCDEFGHJKLMNPRSTUVWXYZ";
  std::string vin;
  for (int i = 0; i < 17; ++i) vin += kChars[engine() % kChars.size()];
  return vin;
}

class Generator {
 public:
  Generator(World& world, std::mt19937_64& engine) : world_(world), engine_(engine) {}

  // Sends `text` to `to` as one message; false when it cannot go out as composed (the caller
  // then drops the whole event).
  bool Send(Pieces& out, uint16_t to, uint16_t source, Kind kind, std::string_view text, double gap,
            const Terminal* sender = nullptr, bool downloaded = false, uint8_t start = kRecordStart,
            size_t per_record = kMaxTextPerRecord) {
    RecordFields head;
    head.start = {start, kRecordSecond};
    head.address = {static_cast<uint8_t>(to >> 8), static_cast<uint8_t>(to)};
    uint8_t& sequence = world_.sequences.try_emplace(to, 1 + engine_() % 200).first->second;
    head.sequence = sequence;
    head.flags = sender ? kInbound : kOutbound;
    head.source = {static_cast<uint8_t>(source >> 8), static_cast<uint8_t>(source), kind, 0x01};
    const uint16_t number = world_.message_number++;
    last_number_ = number;
    head.message_header = {static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number), kind,
                           0x00, 0x02};
    head.downloaded = downloaded;
    if (start == kAlternateRecordStart) {
      head.trailer.kind = TrailerKind::kUnmarked;
    } else if (sender) {
      head.trailer.kind = sender->trailer;
      if (sender->filler > 0) {
        head.trailer.kind = TrailerKind::kCounted;
        head.filler = sender->filler;
      }
    }
    const ComposedMessage message = ComposeMessage(head, text, per_record);
    if (!message.error.empty()) return false;
    for (size_t i = 0; i < message.records.size(); ++i) {
      if (!FalseSyncs(EncodeFrame(message.records[i])).empty()) return false;
      double before = gap;
      if (i > 0) {
        before = Chance(engine_, 0.4) ? Between(engine_, kCloseMin, kCloseMax)
                                      : Between(engine_, 1.0, 2.0);
      }
      out.push_back({message.records[i], before});
    }
    sequence = message.next_sequence;
    return true;
  }

  bool KeyDownload(Pieces& out, size_t unit) {
    const std::string text =
        "F1 ENROUTE\rF2 ON SCENE\rF3 AVAILABLE\rF4 OUT OF SVC\rF5 MESSAGE\rF6 QUERY";
    return Send(out, kTerminals[unit].address, kHost, kKeyDownload, text, Pause(engine_), nullptr,
                true);
  }

  bool Dispatch(Pieces& out) {
    const IncidentType& incident = Pick(engine_, kIncidents);
    std::vector<size_t> free;
    for (size_t i = 0; i < kTerminals.size(); ++i) {
      if (kTerminals[i].role == incident.role && world_.units[i].status == Status::kAvailable) {
        free.push_back(i);
      }
    }
    if (free.empty()) return false;
    const size_t unit = free[engine_() % free.size()];
    std::optional<size_t> backup;
    if (free.size() > 1 && Chance(engine_, 0.3)) {
      backup = free[(std::find(free.begin(), free.end(), unit) - free.begin() + 1) % free.size()];
    }
    const Location& location = Pick(engine_, kLocations);
    const std::string call = "24-0" + std::to_string(world_.call_number++);
    std::string units(kTerminals[unit].call_sign);
    if (backup) units += " " + std::string(kTerminals[*backup].call_sign);

    std::string text = "\f\x1b[?7h" + Cursor(1, 1) +
                       Reverse(" DISPATCH #" + call + "  P" + std::to_string(incident.priority) +
                               "  " + Clock(world_.clock, false) + " ") +
                       "\r" + Rule('=') + "\r";
    text += "TYPE: " + std::string(incident.name) + "\r";
    text += "LOC:  " + std::string(location.address) + "\r";
    text += "XST:  " + std::string(location.cross) + "\r";
    text += "RP:   " + std::string(Pick(engine_, kCallers)) + "\r";
    text += "UNIT: " + units + "\r" + Rule('-') + "\r";
    for (std::string_view note : incident.notes) text += std::string(note) + "\r";
    text += Cursor(16, 1) + Reverse(" F1 ENRT  F2 ONSC  F3 AVL  F5 MSG ");

    const size_t per_record = Pick(engine_, std::array<size_t, 3>{96, 128, 160});
    if (!Send(out, kTerminals[unit].address, kHost, kDispatch, text, Pause(engine_), nullptr, false,
              kRecordStart, per_record)) {
      return false;
    }
    const uint16_t number = last_number_;
    // Another terminal's status now and then slips in between the records of a long message.
    if (out.size() >= 2 && Chance(engine_, 0.3)) {
      Pieces other;
      if (!StatusChange(other, unit, false)) return false;
      other[0].gap_before = Between(engine_, 0.6, 1.2);
      out.insert(out.begin() + 1, other.begin(), other.end());
    }
    if (Chance(engine_, 0.5) && !Ack(out, unit, number)) return false;
    if (backup && !Send(out, kTerminals[*backup].address, kHost, kDispatch, text, Pause(engine_),
                        nullptr, false, kRecordStart, per_record)) {
      return false;
    }
    for (const std::optional<size_t>& assigned : {std::optional<size_t>(unit), backup}) {
      if (!assigned) continue;
      world_.units[*assigned].status = Status::kDispatched;
      world_.units[*assigned].call = call;
      world_.units[*assigned].location = location.address;
    }
    return true;
  }

  // The next status of a busy unit other than `except`, and the host's confirmation.
  bool StatusChange(Pieces& out, std::optional<size_t> except, bool confirm) {
    std::vector<size_t> busy;
    for (size_t i = 0; i < kTerminals.size(); ++i) {
      if (world_.units[i].status != Status::kAvailable && i != except) busy.push_back(i);
    }
    if (busy.empty()) return false;
    const size_t unit = busy[engine_() % busy.size()];
    UnitState& state = world_.units[unit];
    const Terminal& terminal = kTerminals[unit];
    std::string code;
    std::string text;
    switch (state.status) {
      case Status::kDispatched:
        code = "ENRT";
        text = "STATUS ENRT #" + state.call;
        break;
      case Status::kEnroute:
        code = "ONSC";
        text = "STATUS ONSC #" + state.call + "\r" + state.location;
        break;
      case Status::kOnScene:
      case Status::kAvailable:
        code = "AVL";
        text = "STATUS AVL #" + state.call + "\rDISP: " + std::string(Pick(engine_, kDispositions));
        break;
    }
    if (!Send(out, terminal.address, terminal.address, kStatus, text, Pause(engine_), &terminal)) {
      return false;
    }
    // A terminal that hears no acknowledgement sends the same frame again.
    if (Chance(engine_, 0.12)) out.push_back({out.back().frame, Between(engine_, 1.0, 2.0)});
    if (confirm) {
      std::string reply =
          Cursor(1, 28) + Reverse(" " + code + " " + Clock(world_.clock, false) + " ");
      if (code == "AVL") reply = "CALL #" + state.call + " CLOSED\r" + reply;
      if (!Send(out, terminal.address, kHost, kStatusConfirm, reply, Between(engine_, 1.0, 3.0))) {
        return false;
      }
    }
    state.status = state.status == Status::kDispatched ? Status::kEnroute
                   : state.status == Status::kEnroute  ? Status::kOnScene
                                                       : Status::kAvailable;
    return true;
  }

  bool Query(Pieces& out) {
    const size_t unit = engine_() % kTerminals.size();
    const Terminal& terminal = kTerminals[unit];
    if (terminal.role != Role::kPolice) return false;
    std::string query;
    std::string reply;
    const std::string stamp = "  " + Clock(world_.clock, false) + " ";
    switch (engine_() % 3) {
      case 0: {
        const std::string plate = Plate(engine_);
        query = "QUERY PLATE " + plate + " ST CA";
        reply = Reverse(" VEHICLE RESPONSE" + stamp) + "\r";
        reply += "PLATE: " + plate + "  ST: CA  EXP: 0" + std::to_string(1 + engine_() % 9) + "/2" +
                 std::to_string(5 + engine_() % 3) + "\r";
        reply += "VEH:   " + std::string(Pick(engine_, kVehicles)) + "\r";
        reply += "VIN:   " + Vin(engine_) + "\r";
        reply += "R/O:   " + std::string(Pick(engine_, kNames)) + "\r";
        reply += "       " + std::string(Pick(engine_, kStreets)) + "\r" + Rule('-') + "\r";
        reply += Chance(engine_, 0.15)
                     ? Blink("*** STOLEN VEHICLE ***") + "\rCONFIRM WITH ORIGINATING AGENCY"
                     : std::string("STOLEN: NO   WANTS: NONE");
        break;
      }
      case 1: {
        const std::string_view name = Pick(engine_, kNames);
        char dob[16];
        std::snprintf(dob, sizeof dob, "%02d/%02d/%04d", static_cast<int>(1 + engine_() % 12),
                      static_cast<int>(1 + engine_() % 28),
                      static_cast<int>(1950 + engine_() % 55));
        query = "QUERY NAME " + std::string(name) + "\rDOB " + dob;
        reply = Reverse(" PERSON RESPONSE" + stamp) + "\r";
        reply += "NAME: " + std::string(name) + "\rDOB:  " + std::string(dob) + "\r";
        reply += "DL:   C" + std::to_string(1000000 + engine_() % 9000000) + "  CLASS C  VALID\r";
        reply += Rule('-') + "\r";
        reply += Chance(engine_, 0.2)
                     ? Reverse("1 WARRANT") + " FTA, BAIL $2500\rCONFIRM BEFORE ARREST"
                     : std::string("WANTS/WARRANTS: NONE ON FILE");
        break;
      }
      default: {
        const Location& location = Pick(engine_, kLocations);
        query = "QUERY PREMISE " + std::string(location.address);
        reply = Reverse(" PREMISE HISTORY" + stamp) + "\r";
        reply += "LOC: " + std::string(location.address) + "\r" + Rule('-') + "\r";
        const int calls = 1 + engine_() % 3;
        reply += std::to_string(calls) + " CALLS IN LAST 90 DAYS\r";
        for (int i = 0; i < calls; ++i) {
          const IncidentType& past = Pick(engine_, kIncidents);
          reply += "0" + std::to_string(1 + engine_() % 9) + "/" +
                   std::to_string(10 + engine_() % 18) + " " + std::string(past.name) + "\r";
        }
        reply += "HAZARDS: " + std::string(Chance(engine_, 0.3) ? "DOG ON PREMISES" : "NONE");
        break;
      }
    }
    if (!Send(out, terminal.address, terminal.address, kQuery, query, Pause(engine_), &terminal)) {
      return false;
    }
    const size_t per_record = Pick(engine_, std::array<size_t, 2>{96, 128});
    if (!Send(out, terminal.address, kHost, kReply, reply, Between(engine_, 2.0, 5.0), nullptr,
              false, kRecordStart, per_record)) {
      return false;
    }
    return !Chance(engine_, 0.5) || Ack(out, unit, last_number_);
  }

  bool UnitMessage(Pieces& out) {
    const size_t from = engine_() % kTerminals.size();
    const size_t to = (from + 1 + engine_() % (kTerminals.size() - 1)) % kTerminals.size();
    const std::string head = Reverse(" MSG FROM " + std::string(kTerminals[from].call_sign) + "  " +
                                     Clock(world_.clock, false) + " ") +
                             "\r";
    if (!Send(out, kTerminals[to].address, kTerminals[from].address, kTextMessage,
              head + std::string(Pick(engine_, kUnitTexts)), Pause(engine_))) {
      return false;
    }
    if (!Chance(engine_, 0.5)) return true;
    const std::string answer = Reverse(" MSG FROM " + std::string(kTerminals[to].call_sign) + "  " +
                                       Clock(world_.clock + 5, false) + " ") +
                               "\r" + std::string(Pick(engine_, kUnitReplies));
    return Send(out, kTerminals[from].address, kTerminals[to].address, kTextMessage, answer,
                Between(engine_, 3.0, kMaxPause));
  }

  bool DispatcherMessage(Pieces& out) {
    const size_t to = engine_() % kTerminals.size();
    const std::string text = Reverse(" MSG FROM DISPATCH  " + Clock(world_.clock, false) + " ") +
                             "\r" + std::string(Pick(engine_, kDispatcherTexts));
    return Send(out, kTerminals[to].address, kHost, kTextMessage, text, Pause(engine_));
  }

  bool Bulletin(Pieces& out) {
    if (world_.clock - world_.last_bulletin < 90.0) return false;
    const std::string plate = Plate(engine_);
    std::string text = "\f" + Cursor(1, 1) +
                       Reverse(" ATTENTION ALL UNITS  " + Clock(world_.clock, false) + " ") + "\r";
    text += Rule('*') + "\r";
    text += "BOLO: " + std::string(Pick(engine_, kVehicles)) + "\r";
    text += "PLATE " + plate + ", LAST SEEN AT\r" + std::string(Pick(engine_, kLocations).address) +
            "\r";
    text += "WANTED IN CONNECTION WITH ARMED\rROBBERY AT 2231 W MAIN ST, 1 SUSPECT\r";
    text += "WMA 30S, GRY HOODIE, ARMED WITH\rHANDGUN. DO NOT APPROACH ALONE.\r";
    text += Rule('*');
    if (!Send(out, kAllCall, kHost, kBulletin, text, Pause(engine_), nullptr, false, kRecordStart,
              128)) {
      return false;
    }
    world_.last_bulletin = world_.clock;
    return true;
  }

  // The terminal's receipt for message `number`.
  bool Ack(Pieces& out, size_t unit, uint16_t number) {
    const Terminal& terminal = kTerminals[unit];
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", static_cast<unsigned>(number));
    const std::string text = "RCVD " + std::string(digits) + " " + Clock(world_.clock + 2, true);
    return Send(out, terminal.address, terminal.address, kAck, text, Between(engine_, 1.0, 1.8),
                &terminal, false, kAlternateRecordStart);
  }

 private:
  World& world_;
  std::mt19937_64& engine_;
  uint16_t last_number_ = 0;
};

double Seconds(const Pieces& pieces) {
  double seconds = 0.0;
  for (const Piece& piece : pieces) {
    seconds += piece.gap_before + EncodedFrameBits(piece.frame.size()) / kBitRate;
  }
  return seconds;
}

}  // namespace

Schedule DemoTraffic(double seconds, uint64_t seed) {
  std::mt19937_64 engine(seed);
  World world;
  Schedule schedule;
  double elapsed = 0.0;
  size_t downloads = 0;
  int refusals = 0;
  int misses = 0;
  while (refusals < kMaxRefusals && misses < kMaxMisses) {
    World next = world;
    next.clock = elapsed;
    Generator generator(next, engine);
    Pieces pieces;
    bool made = false;
    // The terminals of the day shift receive their function keys first.
    if (downloads < 3) {
      made = generator.KeyDownload(pieces, downloads * 3);
      ++downloads;
    } else {
      const uint64_t roll = engine() % 100;
      if (roll < 24) {
        made = generator.Dispatch(pieces);
      } else if (roll < 56) {
        made = generator.StatusChange(pieces, std::nullopt, true);
      } else if (roll < 72) {
        made = generator.Query(pieces);
      } else if (roll < 86) {
        made = generator.UnitMessage(pieces);
      } else if (roll < 95) {
        made = generator.DispatcherMessage(pieces);
      } else {
        made = generator.Bulletin(pieces);
      }
    }
    if (!made) {
      ++misses;
      continue;
    }
    misses = 0;
    // Leaves at least the shortest pause after the last frame.
    const double length = Seconds(pieces);
    if (elapsed + length + kMinPause > seconds) {
      ++refusals;
      continue;
    }
    world = next;
    for (Piece& piece : pieces) {
      schedule.transmissions.push_back({std::move(piece.frame), piece.gap_before});
    }
    elapsed += length;
  }
  schedule.trailing_gap = seconds > elapsed ? seconds - elapsed : 0.0;
  return schedule;
}

}  // namespace mdcgen
