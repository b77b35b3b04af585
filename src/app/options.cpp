#include "options.h"

namespace faq::app {

ParsedOptions parseOptions(const std::vector<std::string>& args, const std::vector<OptionDef>& known) {
    ParsedOptions out;
    auto note = [&](std::string message) {
        if (!out.error) out.error = std::move(message);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            out.positional.insert(out.positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        const bool isLong = a[1] == '-';
        // The name as given, never what follows '=': that may be a secret.
        const std::string shown = isLong ? a.substr(0, a.find('=')) : a.substr(0, 2);
        const OptionDef* def = nullptr;
        for (const auto& s : known)
            if (isLong ? shown == std::string("--") + s.name : s.shortName == a[1]) def = &s;
        if (!def) {
            note("不认识的选项：" + shown);
            continue;
        }
        std::optional<std::string> attached;  // "--name=value" or "-xvalue"
        if (isLong && a.find('=') != std::string::npos) attached = a.substr(a.find('=') + 1);
        if (!isLong && a.size() > 2) attached = a.substr(2);
        switch (def->kind) {
            case OptionDef::Flag:
                if (attached) note("选项 " + shown + " 不带值");
                out.values[def->name] = "";
                break;
            case OptionDef::OptionalValue: out.values[def->name] = attached.value_or(""); break;
            case OptionDef::Value:
                if (attached) {
                    out.values[def->name] = *attached;
                } else if (i + 1 < args.size()) {
                    out.values[def->name] = args[++i];
                } else {
                    note("选项 " + shown + " 需要一个值");
                }
                break;
        }
    }
    return out;
}

}  // namespace faq::app
