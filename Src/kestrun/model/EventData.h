#pragma once
// One queued client write: the point, the value to write and the writer's flag.
// Texts, counted texts and Bool arrays are held as the record's own copies, so
// the writer may change or free its value as soon as the write is queued.
#include <memory>

#include "platform/afx/Object.h"
#include "platform/dde/BrisantTypes.h"

class CdsMemoryObject;

class CdsEventData : public CObject {
    DECLARE_DYNAMIC(CdsEventData)
public:
    CdsEventData();
    ~CdsEventData() override;
    CdsEventData(const CdsEventData&) = delete;
    CdsEventData& operator=(const CdsEventData&) = delete;

    // Frees the record's copies, then the record itself when its delete-on-Destroy flag is set.
    virtual void Destroy();
    // Frees the record's copies and sets the value to none.
    virtual void DeleteContents();

    // Takes a copy of the value by the ownership rule of its type:
    //   10  the text and its terminating zero (a missing text stays none);
    //   11  the length word and the characters (a length below 1 gives an empty
    //       counted text; a missing one stays none);
    //   12  the whole array block (header and 32-bit elements);
    //   13-22 are refused: there is no defined write for them;
    //   any other type: all 8 bytes as they stand.
    // FALSE when refused or out of memory; the record then holds none.
    BOOL SetValue(const _BRISANTDATAVALUE& value, int nDataType);

    CdsMemoryObject* GetPoint() const { return m_pPoint; }
    void SetPoint(CdsMemoryObject* pPoint) { m_pPoint = pPoint; }
    const _BRISANTDATAVALUE& GetValue() const { return m_value; }
    int GetDataType() const { return m_nDataType; }
    int GetFlag() const { return m_nFlag; }
    void SetFlag(int nFlag) { m_nFlag = nFlag; }
    BOOL IsDeleteOnDestroy() const { return m_bDeleteOnDestroy; }
    void SetDeleteOnDestroy(BOOL bDelete) { m_bDeleteOnDestroy = bDelete; }

    // Owner of a record taken out of a queue: calls Destroy.
    struct Destroyer {
        void operator()(CdsEventData* pEvent) const
        {
            if (pEvent)
                pEvent->Destroy();
        }
    };
    using Ptr = std::unique_ptr<CdsEventData, Destroyer>;

private:
    CdsMemoryObject* m_pPoint = nullptr;  // not owned
    _BRISANTDATAVALUE m_value;
    int m_nDataType = BRISANT_NOTYPE;
    int m_nFlag = 0;
    BOOL m_bDeleteOnDestroy = TRUE;
};
