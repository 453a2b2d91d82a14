#include "Statements.h"

namespace stmt {

std::string Quote(std::string_view value) {
    std::string strResult;
    strResult.reserve(value.size());
    for (char c : value) {
        strResult += c;
        if (c == '\'')
            strResult += '\'';
    }
    return strResult;
}

std::string SelectLibrarySorted() {
    return "SELECT * FROM DATA ORDER BY [投影机型号]";
}

std::string SelectLibrary() {
    return "SELECT * FROM DATA";
}

std::string InsertModel(std::string_view model, std::string_view baud, std::string_view parity,
                        std::string_view vga, std::string_view video, std::string_view powerOn,
                        std::string_view powerOff) {
    return "INSERT INTO data (投影机型号,波特率,校验,VGA,VIDEO,[POWER ON],[POWER OFF]) VALUES ('" +
           Quote(model) + "','" + Quote(baud) + "','" + Quote(parity) + "','" + Quote(vga) + "','" +
           Quote(video) + "','" + Quote(powerOn) + "','" + Quote(powerOff) + "')";
}

std::string DeleteModel(std::string_view model) {
    return "DELETE FROM DATA WHERE 投影机型号='" + Quote(model) + "'";
}

std::string SelectModel(std::string_view model) {
    return "SELECT * FROM DATA WHERE 投影机型号 = '" + Quote(model) + "'";
}

std::string SearchModels(std::string_view upperKeyword, std::string_view lowerKeyword) {
    return "SELECT * FROM DATA WHERE [投影机型号] LIKE '%" + Quote(upperKeyword) +
           "%' OR [投影机型号] LIKE '%" + Quote(lowerKeyword) + "%' ORDER BY [投影机型号]";
}

std::string SelectByVideo(std::string_view video) {
    return "SELECT * FROM data where [video]='" + Quote(video) + "'";
}

std::string SelectMicTable() {
    return "SELECT *  from htset";
}

std::string SaveMicRow(std::string_view channel, std::string_view dome, std::string_view preset,
                       std::string_view type, std::string_view row) {
    return "update [htset] set [tdnum]='" + Quote(channel) + "',qjnum='" + Quote(dome) + "',bitnum='" +
           Quote(preset) + "',tyjnum='" + Quote(type) + "' where [htnum]='" + Quote(row) + "'";
}

std::string StoreMicRow(std::string_view channel, std::string_view dome, std::string_view preset,
                        std::string_view type, std::string_view row) {
    return "update [htset] set tdnum='" + Quote(channel) + "',qjnum='" + Quote(dome) + "',bitnum='" +
           Quote(preset) + "',tyjnum='" + Quote(type) + "' where htnum='" + Quote(row) + "'";
}

std::string SelectMicTableForSet() {
    return "SELECT * FROM [htset] ";
}

} // namespace stmt
