// One line of the brush-set file from arbitrary bytes: no crash, and a line that gives a preset
// gives the same preset again after being written out.
#include "project/BrushSets.h"
#include "project/TBrushSet.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::unique_ptr<TBrushSet> set = BrushSetFromJson(line);
    if (!set)
        return 0;
    const std::unique_ptr<TBrushSet> again = BrushSetFromJson(BrushSetToJson(*set));
    if (!again || again->BName != set->BName || again->MColor != set->MColor || again->SCursor != set->SCursor
        || again->Current != set->Current || again->OVisible != set->OVisible)
        std::abort();
    return 0;
}
