// The usage texts the message store's commands answer for a malformed call.
// They are shown to page developers as they are: every line ends in CRLF.
#include "stores/messages/MessageDbUsage.h"

namespace nb::messagedb {

namespace {

struct Usage {
  std::string_view command;  // "" for the general text
  std::string_view text;
};

constexpr Usage kUsages[] = {
    {"",
     "参数格式 (\"cmd\",\"json\")\r\n"
     " cmd的值如下:\r\n"
     " adddialogs:添加多讨论组\r\n"
     " adddialog:添加一个讨论组\r\n"
     " getdialog:得到一个讨论组信息\r\n"
     " getdialogs:得到所有讨论组信息\r\n"
     " searchdialogs:查询讨论组信息\r\n"
     " deldialog:删除一个讨论组\r\n"
     " addmessages:添加多条消息\r\n"
     " addmessage:添加一条消息\r\n"
     " getmessages:得到消息信息\r\n"
     " searchmessages:查询消息信息\r\n"
     " delmessage: 删除一条消息信息\r\n"
     " delallmessages:删除讨论组所有消息\r\n"
     " setsticky:设置讨论组置顶\r\n"
     " addmember:添加一个讨论组成员\r\n"
     " getmember:得到一个讨论组成员信息\r\n"
     " getmembers:得到讨论组成员信息\r\n"
     " delmember:删除一个讨论组成员\r\n"
     " setdialogsetting:设置一个讨论组提显机制\r\n"},
    {"adddialogs",
     "添加多个讨论组 (\"adddialogs\",\"json\")\r\n"
     "json格式 为服务器上讨论组的json格式\r\n"},
    {"adddialog",
     "添加一个讨论组 (\"adddialog\",\"json\")\r\n"
     "json格式 为服务器上讨论组的json格式\r\n"},
    {"updatedialog",
     "添加一个讨论组 (\"updatedialog\",\"json\")\r\n"
     "json格式 为服务器上讨论组的json格式\r\n"},
    {"getdialog",
     "得到一个讨论组信息 (\"getdialog\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"dfd\"}\r\n"},
    {"searchdialogs",
     "查询讨论组信息 (\"searchdialogs\",\"json\")\r\n"
     "json格式 {\"key\":\"dfd\"}\r\n"},
    {"deldialog",
     "删除一个讨论组 (\"deldialog\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"dfd\"}\r\n"},
    {"addmessages",
     "添加多条消息 (\"addmessages\",\"json\")\r\n"
     "json格式 服务器上的消息json\r\n"},
    {"addmessage",
     "添加一条消息 (\"addmessage\",\"json\")\r\n"
     "json格式 服务器上的消息json\r\n"},
    {"getmessages",
     "得到消息信息 (\"getmessages\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"dateline\":171261212,\"count\":100,\"direction\":\"up\"}\r\n"
     " dialog_id:讨论组id\r\n"
     " dateline:消息的起始位置\r\n"
     " count:个数 0时为拿所有\r\n"
     " direction:为up是为拿时间之前，默认为拿时间之后\r\n"},
    {"searchmessages",
     "查询消息信息 (\"searchmessages\",\"json\")\r\n"
     "json格式 {\"key\":\"dfd\"}\r\n"},
    {"delmessage",
     "删除一条消息信息 (\"delmessage\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"id\":\"dfsdfsdf\"}\r\n"
     " dialog_id:讨论组id\r\n"
     " id:消息的id\r\n"},
    {"delallmessages",
     "删除讨论组所有消息 (\"delallmessages\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\"}\r\n"
     " dialog_id:讨论组id\r\n"},
    {"setsticky",
     "设置讨论组置顶 (\"setsticky\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"dateline\":121212121212}\r\n"
     " dialog_id:讨论组id\r\n"
     " dateline:置顶时间\r\n"},
    {"addmember",
     "添加一个讨论组成员 (\"addmember\",\"json\")\r\n"
     "json格式 服务器上的讨论组成员json\r\n"},
    {"getmember",
     "得到一个讨论组成员信息 (\"getmember\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"member_id\":1112121}\r\n"
     " dialog_id:讨论组id\r\n"
     " member_id:成员id\r\n"},
    {"getmembers",
     "得到讨论组成员信息 (\"getmembers\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"start\":0,\"count\":100}\r\n"
     " dialog_id:讨论组id\r\n"
     " start:起始位置\r\n"
     " count:个数\r\n"},
    {"delmember",
     "删除一个讨论组成员 (\"delmember\",\"json\")\r\n"
     "json格式 {\"dialog_id\":\"df\",\"member_id\":121212}\r\n"
     " dialog_id:讨论组id\r\n"
     " member_id:成员id\r\n"},
    {"setdialogsetting",
     "设置一个讨论组提显机制 (\"setdialogsetting\",\"json\")\r\n"
     "json格式 服务器上的提显机制json\r\n"},
};

}  // namespace

std::string_view usageText(std::string_view command) {
  for (const Usage& usage : kUsages) {
    if (usage.command == command) return usage.text;
  }
  return std::string_view();
}

}  // namespace nb::messagedb
